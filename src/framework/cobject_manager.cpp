// CObjectManager: named plug-in instances and the call path into them.

#include "zorel/framework/cobject_manager.h"

#include <chrono>
#include <deque>

#include "zorel/common/utf8.h"
#include "zorel/framework/call_trace.h"
#include "zorel/log/framework_log.h"
#include "last_error.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {

CObjectManager::CObjectManager(const CPluginFactory& factory) : factory_(factory) {}

CObjectManager::~CObjectManager() = default;

std::string CObjectManager::CreateObject(const std::string& component, StackFrame& args) {
  try {
    std::unique_ptr<CMethodDispatcher> instance = factory_.Create(component, args);
    if (!instance) return {};
    std::string name = std::to_string(next_number_++) + component;
    // The store goes to late instances too: an object a stage function makes
    // must record its operations like one made by the top-level code.
    instance->SetResultStore(store_);
    instances_[name] = std::move(instance);
    return name;
  } catch (...) {
    return {};
  }
}

std::string CObjectManager::InvokeMethod(const std::string& instance, const std::string& method,
                                         StackFrame& args) {
  ICallTrace* trace = CurrentCallTrace();
  if (!trace) return Invoke(instance, method, args, nullptr);
  // The method may consume its frame: the trace keeps the arguments as given.
  const std::deque<std::wstring> arguments = args.positional();
  const auto start = std::chrono::steady_clock::now();
  int32_t errorCode = 0;
  std::string answer = Invoke(instance, method, args, &errorCode);
  TracedCall call;
  call.instance = instance;
  call.method = method;
  call.arguments = &arguments;
  call.answer = &answer;
  call.errorCode = errorCode;
  call.milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  trace->Record(call);
  return answer;
}

std::string CObjectManager::Invoke(const std::string& instance, const std::string& method,
                                   StackFrame& args, int32_t* errorCode) {
  auto it = instances_.find(instance);
  if (it == instances_.end()) return {};
  try {
    std::unique_ptr<CJSONReturn> result = it->second->Call(method, args);
    if (!result) return {};
    if (errorCode) *errorCode = result->errorcode;
    return result->ToString();
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Exception occured during  invoking %s with error code --: %d",
                                   fromUtf8(method).c_str(), LastSystemError());
    return {};
  }
}

void CObjectManager::SetProperty(const std::string& instance, const std::string& property,
                                 const std::wstring& value) {
  auto it = instances_.find(instance);
  if (it == instances_.end()) return;
  try {
    it->second->AssignProperty(property, value);
  } catch (...) {
    FrameworkLog::Instance().Write(
        LogLevel::Error, L"Exception occured during  assigning values with error code --: %d",
        LastSystemError());
  }
}

std::set<std::string> CObjectManager::GetComponentNames() { return factory_.GetComponentNames(); }

std::set<std::string> CObjectManager::GetMethodNames(const std::string& component) {
  return factory_.GetMethodNames(component);
}

void CObjectManager::SetResultStore(IResultStore* store) {
  store_ = store;
  for (auto& entry : instances_) entry.second->SetResultStore(store);
}

CMethodDispatcher* CObjectManager::Find(const std::string& instance) const {
  auto it = instances_.find(instance);
  return it == instances_.end() ? nullptr : it->second.get();
}

}  // namespace zorel
