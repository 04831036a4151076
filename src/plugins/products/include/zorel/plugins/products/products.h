#pragma once
// Products: the script's "Products" object. It answers which of the
// maker's products are installed (detection, zorel/detect), which other
// programs the uninstall list shows, whether a given product of either kind
// is present, writes both lists into the result store (collect), and reads
// the core component's installation logs.
//
// The yes/no methods answer through "errorcode": 0 yes, 4312
// (ERROR_OBJECT_NOT_FOUND) no. Two lists outlive the object and are shared
// by every Products object of the process: the detected set (grown by every
// detection run) and the other-programs list (filled once, by the first
// getNonOlvaneProducts), each with a done flag; nothing refreshes them.

#include <cstdint>
#include <memory>
#include <span>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;
class PluginCall;

class Products : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\env\\Products";

  // The methods in registration order, with their record types and input
  // keys; the property "errorcode" follows.
  static const PluginSurface kSurface;

  // Construction arguments are not read.
  explicit Products(StackFrame& args);

  std::unique_ptr<CJSONReturn> getNonOlvaneProducts(StackFrame& args);
  std::unique_ptr<CJSONReturn> getOlvaneProducts(StackFrame& args);
  std::unique_ptr<CJSONReturn> isAnyOlvaneProductInstalled(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOlvaneProductInstalled(StackFrame& args);
  std::unique_ptr<CJSONReturn> isOlvaneProductVersionGreaterOrEquals(StackFrame& args);
  std::unique_ptr<CJSONReturn> isNonOlvaneProductInstalled(StackFrame& args);
  std::unique_ptr<CJSONReturn> collect(StackFrame& args);
  std::unique_ptr<CJSONReturn> IsCoreComponentInstallSuccess(StackFrame& args);

  int32_t ErrorCode() const { return errorcode_; }

 private:
  // The answer of the two is-methods that search a list.
  std::unique_ptr<CJSONReturn> FindInList(StackFrame& args, bool ours);

  int32_t errorcode_ = 0;  // published as the property "errorcode"
};

// The factory's creation function for "Products".
std::unique_ptr<CMethodDispatcher> CreateProductsPlugin(StackFrame& args);

// Forgets the process's detected set and other-programs list, as a new
// program run starts without them (tests running several runs in one
// process).
void ResetProductLists();

}  // namespace zorel
