// Member bindings of the reporting and header records.

#include "zorel/framework/report_json.h"

#include <charconv>
#include <string>

namespace zorel {

ProblemJson::ProblemJson() {
  BindString("name", name);
  BindInt("id", id);
  BindString("description", description);
  BindString("url", url);
  BindValue("stages", stages);
}

StatusJson::StatusJson() {
  BindInt("id", id);
  BindInt("stage", stage);
  BindInt("status", status);
}

void StatusJson::FromValue(const Json::Value& value) {
  JSON::FromValue(value);
  if (!value.isObject()) return;
  const Json::Value* given = value.find("status", "status" + 6);
  if (given == nullptr || !given->isString()) return;
  const std::string text = given->asString();
  int32_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error == std::errc() && end == text.data() + text.size() && !text.empty()) status = number;
}

HeaderJson::HeaderJson() {
  BindString("frameworkversion", frameworkVersion);
  BindString("jsrevision", jsRevision);
  BindString("jsfilename", jsFileName);
}

}  // namespace zorel
