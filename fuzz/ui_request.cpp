// libFuzzer target: any text as a UI request, and any JSON text through the
// mapping of every message structure.
// An input's first byte picks one of the structures below; the rest is the
// text. The text goes, as a request, through the session controller's own
// dispatch (a controller with no check script and a framework that is never
// started, so no run begins), and, as JSON, into the structure picked.
// Properties: a non-empty request is answered with a JSON object holding a
// boolean "status"; a refused one carries errorcode 1000; and a structure's
// mapping is settled after one round: reading its own output back gives the
// same JSON value again.

#include <json/reader.h>
#include <json/value.h>

#include <functional>
#include <memory>

#include "fuzz_support.h"
#include "zorel/bridge/problem_data.h"
#include "zorel/bridge/progress_json.h"
#include "zorel/bridge/request_dispatch.h"
#include "zorel/bridge/request_json.h"
#include "zorel/bridge/response_json.h"
#include "zorel/bridge/result_json.h"
#include "zorel/common/utf8.h"
#include "zorel/detect/catalogue_model.h"
#include "zorel/detect/final_list.h"
#include "zorel/detect/installed_product.h"
#include "zorel/framework/report_json.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/report/report_messages.h"
#include "zorel/session/framework_host.h"
#include "zorel/session/pre_install_check.h"

namespace zorel::fuzz {
namespace {

// A framework the controller may hold but must never reach here.
class NoFramework : public IFrameworkLib {
 public:
  bool Initialize(const std::wstring&, const std::wstring&, platform::IManualResetEvent*) override {
    Fail("a request started the framework");
  }
  bool Execute(RunRequest, ResultJson&, const ProgressCallback&) override {
    Fail("a request ran the framework");
  }
  bool Package(bool) override { Fail("a request packaged a run"); }
  void Terminate() override {}
};

PreInstallCheck& Controller() {
  static PreInstallCheck* controller = [] {
    ThrowAwayMachine();
    PreInstallCheckSettings settings;
    settings.dataFolder = ScratchFolder() + "/data/";
    settings.sealedScript = ScratchFolder() + "/no-script.enc";
    settings.framework = std::make_shared<NoFramework>();
    settings.cancelWait = std::chrono::milliseconds(100);
    settings.terminateWait = std::chrono::milliseconds(100);
    return new PreInstallCheck(std::move(settings));
  }();
  return *controller;
}

using Maker = std::function<std::unique_ptr<JSON>()>;

template <class T>
Maker Make() {
  return [] { return std::make_unique<T>(); };
}

const std::vector<Maker>& Structures() {
  static const std::vector<Maker> makers = {
      Make<RequestJsonStructure>(), Make<OperationInfoStructure>(), Make<ResponseJsonStructure>(),
      Make<ProgressJson>(),         Make<ResultJson>(),             Make<SessionJson>(),
      Make<StatusData>(),           Make<ProblemData>(),            Make<HttpRequestData>(),
      Make<PreInstallSessionRequest>(), Make<ResultCabData>(),      Make<CancelOperationRequest>(),
      Make<HttpResponseData>(),     Make<ProblemJson>(),            Make<StatusJson>(),
      Make<HeaderJson>(),           Make<CJSONReturn>(),            Make<CInstalledProduct>(),
      Make<CJSONProduct>(),         Make<CJSONDetection>(),         Make<CJSONSubProduct>(),
      Make<CJSONSuite>(),           Make<CJSONMapping>(),           Make<CJSONProductDetection>(),
      Make<CJSONProductReport>(),   Make<CJSONProducts>()};
  return makers;
}

bool SameValue(const Json::Value& a, const Json::Value& b) {
  // Json::Value's == takes NaN as unequal to itself; compare the texts.
  return a == b || a.toStyledString() == b.toStyledString();
}

void CheckMapping(const Maker& make, const std::string& text) {
  std::unique_ptr<JSON> first = make();
  try {
    first->FromString(text);
  } catch (const std::exception&) {
    return;  // too deep for the JSON reader: refused as a whole
  }
  const Json::Value once = first->ToValue();
  std::unique_ptr<JSON> second = make();
  second->FromValue(once);
  Require(SameValue(second->ToValue(), once), "a structure's JSON mapping is not settled");
  std::unique_ptr<JSON> third = make();
  third->FromString(first->ToString());
  Require(SameValue(third->ToValue(), once), "a structure read from its own text differs");
}

void CheckAnswer(const std::wstring& request, const std::wstring& answer) {
  if (request.empty()) {
    Require(answer.empty(), "an empty request was answered");
    return;
  }
  Json::Value value;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const std::string text = toUtf8(answer);
  std::string errors;
  Require(reader->parse(text.data(), text.data() + text.size(), &value, &errors) &&
              value.isObject() && value["status"].isBool(),
          "a request was not answered with a status");
  if (!value["status"].asBool())
    Require(value["errorcode"].isInt() && value["errorcode"].asInt() != 0,
            "a refused request carries no error code");
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel;
  using namespace zorel::fuzz;
  Parts parts(data, size);
  const auto& structures = Structures();
  const Maker& make = structures[parts.Byte() % structures.size()];
  const std::string text(parts.Rest());
  const std::wstring request = fromUtf8(text);
  CheckAnswer(request, Controller().ProcessRequest(request));
  CheckMapping(make, text);
  return 0;
}
