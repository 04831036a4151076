// Products: the declared surface, registration, and the list methods
// (getNonOlvaneProducts, getOlvaneProducts and the is-methods).

#include "zorel/plugins/products/products.h"

#include <string>

#include "products_lists.h"
#include "zorel/common/utf8.h"
#include "zorel/detect/installed_product.h"
#include "zorel/detect/product_detection.h"
#include "zorel/detect/uninstall_entries.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"

namespace zorel {

using products_detail::Lists;

namespace {

constexpr int32_t kNotFound = 4312;        // ERROR_OBJECT_NOT_FOUND
constexpr int32_t kApiFailed = 20016;
constexpr int32_t kDetectionFailed = 20030;

constexpr OperationType kQuery = OperationType::kQuery;

using enum ValueType;

constinit const PluginMethod kMethods[] = {
    {"getNonOlvaneProducts", MethodOf<&Products::getNonOlvaneProducts>, kQuery, {},
     {.summary = "The installed programs of other makers (the uninstall list without the "
                 "maker's names).",
      .answer = AnswerKind::kProducts,
      .fills = "status, products",
      .errors = {20016, kSystemErrors}}},
    {"getOlvaneProducts", MethodOf<&Products::getOlvaneProducts>, kQuery, {},
     {.summary = "The maker's installed products, by the product catalogue's rules.",
      .answer = AnswerKind::kProducts,
      .fills = "products",
      .errors = {20030}}},
    {"isAnyOlvaneProductInstalled", MethodOf<&Products::isAnyOlvaneProductInstalled>, kQuery, {},
     {.summary = "Whether any of the maker's products is installed: errorcode 0 when one is.",
      .answer = AnswerKind::kProducts,
      .errors = {4312, 20030}}},
    {"isOlvaneProductInstalled", MethodOf<&Products::isOlvaneProductInstalled>, kQuery,
     {L"productname"},
     {.summary = "Whether the maker's product of this name is installed: errorcode 0 when it "
                 "is.",
      .arguments = {{{"productName", kText, false, "a product name as detection reports it"}}},
      .answer = AnswerKind::kProducts,
      .errors = {4312, 20030}}},
    {"isOlvaneProductVersionGreaterOrEquals",
     MethodOf<&Products::isOlvaneProductVersionGreaterOrEquals>, kQuery, {},
     {.summary = "Does no check: answers errorcode 0.",
      .answer = AnswerKind::kProducts}},
    {"isNonOlvaneProductInstalled", MethodOf<&Products::isNonOlvaneProductInstalled>, kQuery,
     {L"productname"},
     {.summary = "Whether another maker's program of this name is installed: errorcode 0 when "
                 "it is.",
      .arguments = {{{"productName", kText, false, "a display name from the uninstall list"}}},
      .answer = AnswerKind::kProducts,
      .errors = {4312, 20016}}},
    {"collect", MethodOf<&Products::collect>, OperationType::kCollect, {},
     {.summary = "Writes the maker's products and the other programs to "
                 "PRODUCT_COLLECTION_TABLE.",
      .errors = {20016, 20030}}},
    {"IsCoreComponentInstallSuccess", MethodOf<&Products::IsCoreComponentInstallSuccess>, kQuery,
     {L"ErrorCode"},
     {.summary = "Whether the installation logs show no install error: errorcode 0 when they "
                 "do not.",
      .errors = {20016}}},
};

void LogInfo(const wchar_t* text) { FrameworkLog::Instance().Write(LogLevel::Info, L"%s", text); }

// The detected set and the other-programs list, filled on demand by a
// temporary object without a result store (no operation record).
void EnsureDetected() {
  if (Lists().detectedDone) return;
  StackFrame none;
  Products(none).getOlvaneProducts(none);
}

void EnsureOthers() {
  if (Lists().othersDone) return;
  StackFrame none;
  Products(none).getNonOlvaneProducts(none);
}

}  // namespace

constinit const PluginSurface Products::kSurface{
    "Products", kComponentPath, kMethods, kErrorCodeProperty,
    "Finds the maker's installed products and the programs of other makers."};

Products::Products(StackFrame&) {
  RegisterSurface(kSurface);
  BindProperty("errorcode", errorcode_);
}

std::unique_ptr<CJSONReturn> Products::getNonOlvaneProducts(StackFrame&) {
  PluginCall call = BeginCall("getNonOlvaneProducts", errorcode_);
  auto result = std::make_unique<CJSONProductsInfo>();
  call.Run(
      [&] {
        const UninstallList list = EnumerateUninstallList(products_detail::Machine().registry());
        FrameworkLog::Instance().Write(LogLevel::Info,
                                       L"Got a total of %d programs from Add/Remove list",
                                       static_cast<int>(list.names.size()));
        std::vector<std::wstring> others;
        for (const std::wstring& name : list.names) {
          if (products_detail::IsBranded(name)) continue;
          result->products.Append(std::make_unique<CInstalledProduct>(name));
          others.push_back(name);
        }
        result->status = true;
        call.SetError(list.result);
        if (!Lists().othersDone) {
          Lists().others = std::move(others);
          Lists().othersDone = true;
          Lists().othersUnread = list.bothKeysFailed;
        }
      },
      L"Exception occured while getting the non Olvane products.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Products::getOlvaneProducts(StackFrame&) {
  PluginCall call = BeginCall("getOlvaneProducts", errorcode_);
  std::unique_ptr<CJSONProductsInfo> result = Detect({}, errorcode_, Lists().detected);
  if (!result) result = std::make_unique<CJSONProductsInfo>();
  Lists().detectedDone = true;
  Lists().lastDetectionFailed = errorcode_ != 0;
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Products::isAnyOlvaneProductInstalled(StackFrame&) {
  PluginCall call = BeginCall("isAnyOlvaneProductInstalled", errorcode_);
  auto result = std::make_unique<CJSONProductsInfo>();
  call.Run(
      [&] {
        EnsureDetected();
        if (!Lists().detected.Empty()) {
          call.SetError(0);
          LogInfo(L"One or more Olvane products are installed in the machine");
        } else if (Lists().lastDetectionFailed) {
          // Detection failed and nothing was ever found: no answer, not a no.
          call.SetError(kDetectionFailed);
        } else {
          call.SetError(kNotFound);
          LogInfo(L"No Olvane products are installed in the machine");
        }
      },
      L"Exception occured while checking for installed Olvane products.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Products::isOlvaneProductInstalled(StackFrame& args) {
  return FindInList(args, true);
}

std::unique_ptr<CJSONReturn> Products::isNonOlvaneProductInstalled(StackFrame& args) {
  return FindInList(args, false);
}

std::unique_ptr<CJSONReturn> Products::FindInList(StackFrame& args, bool ours) {
  const char* method = ours ? "isOlvaneProductInstalled" : "isNonOlvaneProductInstalled";
  PluginCall call = BeginCall(method, errorcode_, kNotFound);
  auto result = std::make_unique<CJSONProductsInfo>();
  const std::wstring name = args.Count() > 0 ? args.PopText() : std::wstring();
  call.Input(name);
  call.Run(
      [&] {
        if (name.empty()) return;
        if (ours) {
          EnsureDetected();
        } else {
          EnsureOthers();
        }
        const std::vector<std::wstring>& list = ours ? Lists().detected.Names() : Lists().others;
        for (const std::wstring& known : list) {
          if (!products_detail::SameNameIgnoringCase(known, name)) continue;
          call.SetError(0);
          LogInfo(ours ? L"The given Olvane product is found" : L"The given product is found");
          return;
        }
        // A "no" needs a list that was really read.
        if (ours && list.empty() && Lists().lastDetectionFailed) call.SetError(kDetectionFailed);
        if (!ours && (Lists().othersUnread || !Lists().othersDone)) call.SetError(kApiFailed);
      },
      ours ? L"Exception occured while checking for the Olvane product."
           : L"Exception occured while checking for the product.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Products::isOlvaneProductVersionGreaterOrEquals(StackFrame&) {
  // Does no work: the record carries the code the previous call left, the
  // property keeps it, and the answer says 0.
  int32_t code = errorcode_;
  PluginCall call = BeginCall("isOlvaneProductVersionGreaterOrEquals", code, errorcode_);
  auto result = call.Finish(std::make_unique<CJSONProductsInfo>());
  result->errorcode = 0;
  return result;
}

std::unique_ptr<CMethodDispatcher> CreateProductsPlugin(StackFrame& args) {
  return std::make_unique<Products>(args);
}

}  // namespace zorel
