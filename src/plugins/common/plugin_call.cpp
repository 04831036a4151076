// PluginCall: operation record, error code and log lines of one method call.

#include "zorel/plugins/common/plugin_call.h"

#include "zorel/log/framework_log.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

PluginCall::PluginCall(IResultStore* store, int32_t& errorCode, int32_t operationType,
                       const std::wstring& componentPath, const std::wstring& apiName,
                       int32_t startCode)
    : store_(store), errorCode_(errorCode), record_(&GetErrorMessage) {
  record_.Begin(operationType, componentPath, apiName);
  errorCode_ = startCode;
}

PluginCall::PluginCall(IResultStore* store, int32_t& errorCode, const PluginSurface& surface,
                       const PluginMethod& method, int32_t startCode)
    : PluginCall(store, errorCode, static_cast<int32_t>(method.operation), surface.componentPath,
                 surface.ApiName(method), startCode) {
  keys_ = method.inputs;
}

void PluginCall::ArgumentError(int32_t code, const wchar_t* message) {
  errorCode_ = code;
  if (message) FrameworkLog::Instance().Write(LogLevel::Error, L"%s", message);
}

void PluginCall::Caught(const wchar_t* message, int32_t code) {
  errorCode_ = code;
  if (message) FrameworkLog::Instance().Write(LogLevel::Error, L"%s", message);
}

void PluginCall::Complete() {
  if (finished_) return;
  finished_ = true;
  const int32_t executed = executed_ >= 0 ? executed_ : (errorCode_ == 0 ? 1 : 0);
  record_.Finish(hasInputs_ ? inputs_.Text() : std::wstring(), executed,
                 recordCode_.value_or(errorCode_));
  if (store_) store_->Insert(record_.Table());
}

}  // namespace zorel
