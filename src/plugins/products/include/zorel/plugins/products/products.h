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

namespace zorel {

class CJSONReturn;
class PluginCall;

class Products : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\env\\Products";

  using Method = std::unique_ptr<CJSONReturn> (Products::*)(StackFrame&);

  // One script-visible method: registration, dispatch and the operation
  // record all read this.
  struct MethodSpec {
    const char* name;          // the name the script calls
    Method method;
    int32_t operationType;     // OPERATION_TYPE of its record
    const wchar_t* inputKey;   // its input-details key; null: no input (empty text)
  };
  // The methods in registration order; the property "errorcode" follows.
  static std::span<const MethodSpec> Surface();
  // The declaration of the method `name`; throws std::logic_error for a
  // name Surface() does not hold.
  static const MethodSpec& Declaration(const char* name);

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
  // The call's bookkeeping for the method `name` of Surface(), binding
  // `code` (the property, or a local for methods that leave it alone).
  PluginCall BeginCall(const char* name, int32_t& code, int32_t startCode = 0);
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
