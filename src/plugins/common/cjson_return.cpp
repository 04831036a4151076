// Member bindings of the plug-in return objects.

#include "zorel/plugins/common/cjson_return.h"

#include "zorel/common/utf8.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {

CJSONReturn::CJSONReturn() {
  BindBool("status", status);
  BindBool("return", returnValue);
  BindInt("errorcode", errorcode);
}

CJSONOSInfo::CJSONOSInfo() {
  BindString("osname", osname);
  BindString("osversion", osversion);
  BindString("osarchtype", osarchtype);
  BindString("oslang", oslang);
  BindString("browsers", browsers);
  BindString("defaultbrowser", defaultbrowser);
  BindString("systemdirectory", systemdirectory);
  BindInt("majorversion", majorversion);
  BindInt("minorversion", minorversion);
  BindInt("uacstatus", uacstatus);
}

void CJSONOSInfo::SetSystemDirectory(const std::wstring& folder) { systemdirectory = toUtf8(folder); }

CJSONOSReturnVal::CJSONOSReturnVal() { BindString("value", value); }

void CJSONOSReturnVal::SetValue(const std::wstring& text) { value = toUtf8(text); }

CJSONCPUInfo::CJSONCPUInfo() { BindString("cpuname", cpuname); }

CJSONMemoryInfo::CJSONMemoryInfo() {
  BindString("memorysize", memorysize);
  BindString("freememorysize", freememorysize);
  BindString("usedmemorysize", usedmemorysize);
}

CJSONFileSystemInfo::CJSONFileSystemInfo() { BindString("filesystem", filesystem); }

CJSONTimeInfo::CJSONTimeInfo() {
  BindString("timezone", timezone);
  BindString("date", date);
  BindString("time", time);
}

CJSONReturnDiskInfo::CJSONReturnDiskInfo() {
  BindFloat("totalspace", totalspace);
  BindFloat("usedspace", usedspace);
  BindFloat("freespace", freespace);
}

CJSONReturnFileInfo::CJSONReturnFileInfo() {
  BindString("filetype", filetype);
  BindFloat("size", size);
  BindFloat("disksize", disksize);
  BindInt("createdtime", createdtime);
  BindInt("modifiedtime", modifiedtime);
  BindBool("isreadonly", isreadonly);
  BindBool("ishidden", ishidden);
}

CJSONRegValReturn::CJSONRegValReturn() {
  BindString("value", value);
  BindInt("type", type);
}

CJSONServiceReturn::CJSONServiceReturn() {
  BindInt("servicestartuptype", servicestartuptype);
  BindInt("servicestatus", servicestatus);
}

CJSONProductsInfo::CJSONProductsInfo() { BindArray("products", products); }

}  // namespace zorel
