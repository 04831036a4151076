#pragma once
// The return objects of particular plug-in methods. Members a method does
// not fill keep their initial value. Narrow members are UTF-8; the two that
// come from wide text have a setter doing the conversion.

#include <string>

#include "zorel/bridge/object_list.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {

// OS: getOSDetail and friends.
class CJSONOSInfo : public CJSONReturn {
 public:
  CJSONOSInfo();
  void SetSystemDirectory(const std::wstring& folder);

  std::string osname, osversion, osarchtype, oslang, browsers, defaultbrowser, systemdirectory;
  int32_t majorversion = 0, minorversion = 0, uacstatus = 0;
};

// OS: methods answering one text value.
class CJSONOSReturnVal : public CJSONReturn {
 public:
  CJSONOSReturnVal();
  void SetValue(const std::wstring& text);

  std::string value;
};

class CJSONCPUInfo : public CJSONReturn {
 public:
  CJSONCPUInfo();
  std::string cpuname;
};

class CJSONMemoryInfo : public CJSONReturn {
 public:
  CJSONMemoryInfo();
  std::string memorysize, freememorysize, usedmemorysize;
};

class CJSONFileSystemInfo : public CJSONReturn {
 public:
  CJSONFileSystemInfo();
  std::string filesystem;
};

class CJSONTimeInfo : public CJSONReturn {
 public:
  CJSONTimeInfo();
  std::string timezone, date, time;
};

class CJSONReturnDiskInfo : public CJSONReturn {
 public:
  CJSONReturnDiskInfo();
  float totalspace = 0, usedspace = 0, freespace = 0;
};

class CJSONReturnFileInfo : public CJSONReturn {
 public:
  CJSONReturnFileInfo();
  std::string filetype;
  float size = 0, disksize = 0;
  int32_t createdtime = 0, modifiedtime = 0;
  bool isreadonly = false, ishidden = false;
};

class CJSONRegValReturn : public CJSONReturn {
 public:
  CJSONRegValReturn();
  std::string value;
  int32_t type = 0;
};

class CJSONServiceReturn : public CJSONReturn {
 public:
  CJSONServiceReturn();
  int32_t servicestartuptype = 0, servicestatus = 0;
};

// Products: one element per detected product; the plug-in appends its own
// JSON-derived elements.
class CJSONProductsInfo : public CJSONReturn {
 public:
  CJSONProductsInfo();
  ObjectList products;
};

}  // namespace zorel
