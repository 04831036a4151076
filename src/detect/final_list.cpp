// FinalList.json (see final_list.h).

#include "zorel/detect/final_list.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

#include <json/writer.h>

#include "zorel/common/utf8.h"
#include "zorel/detect/catalogue_model.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel {

CJSONProductReport::CJSONProductReport() {
  BindString("productname", productname);
  BindString("productversion", productversion);
  BindString("productcode", productcode);
  BindInt("detectiontype", detectiontype);
  BindString("partnercode", partnercode);
  BindString("isselected", isselected);
  BindString("emailid", emailid);
  BindString("accountid", accountid);
}

CJSONProducts::CJSONProducts() {
  BindArray("products", products);
  BindString("notmapped", notmapped);
}

std::string FinalListText(const DetectedMap& finalMap, bool notMapped) {
  CJSONProducts document;
  document.notmapped.assign(1, notMapped ? '1' : '0');
  for (const auto& [key, product] : finalMap) {
    CJSONProductReport& report = document.products.Add();
    report.productname = product.entry->displayname;
    report.productversion = toUtf8(product.version);
    report.productcode = product.entry->productcode;
    report.detectiontype = product.detectionType;
    report.partnercode = toUtf8(product.partnerCode);
    report.emailid = toUtf8(product.email);
    report.accountid = toUtf8(product.account);
  }
  Json::Value value = document.ToValue();
  // The JSON mapping leaves an empty array out; the report keeps its key.
  if (!value.isMember("products")) value["products"] = Json::Value(Json::arrayValue);
  Json::StyledWriter writer;
  return writer.write(value);
}

std::wstring FinalListPath(platform::IMachine& machine) {
  std::wstring temp;
  machine.environment().getVariable(L"TEMP", temp);
  while (!temp.empty() && (temp.back() == L'\\' || temp.back() == L'/')) temp.pop_back();
  // Without a TEMP folder there is no place for the report: a bare
  // "\PRODUCTDETECT" would land on whatever drive is current.
  if (temp.empty()) return {};
  return temp + L"\\PRODUCTDETECT\\xml\\FinalList.json";
}

int32_t SaveFinalList(platform::IMachine& machine, const std::string& text) {
  const std::wstring path = FinalListPath(machine);
  if (path.empty()) return platform::ERROR_ENVVAR_NOT_FOUND;
  std::string host;
  if (const int32_t e = machine.paths().toHostPath(path, host)) return e;
  namespace fs = std::filesystem;
  const fs::path file(host);
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec) return platform::winErrorFromErrno(ec.value());
  const fs::path temporary = file.string() + ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      fs::remove(temporary, ec);
      return platform::ERROR_WRITE_FAULT;
    }
  }
  fs::rename(temporary, file, ec);
  if (ec) {
    const int32_t code = platform::winErrorFromErrno(ec.value());
    fs::remove(temporary, ec);
    return code;
  }
  return 0;
}

}  // namespace zorel
