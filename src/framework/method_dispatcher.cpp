// CMethodDispatcher: method and property tables of a plug-in.

#include "zorel/framework/method_dispatcher.h"

#include <stdexcept>

#include "path_expansion.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {

CMethodDispatcher::~CMethodDispatcher() = default;

void CMethodDispatcher::RegisterMethod(const std::string& name, MethodFunction method) {
  methods_[name] = std::move(method);
}

void CMethodDispatcher::RegisterVariable(const std::string& name, BaseVar* binding,
                                         const std::string& type_name) {
  std::unique_ptr<BaseVar> owned(binding);
  if (!owned) return;
  owned->set_type_name(type_name);
  properties_[name] = std::move(owned);
}

void CMethodDispatcher::RegisterSurface(const PluginSurface& surface) {
  surface_ = &surface;
  for (const PluginMethod& row : surface.methods) methods_[row.name] = row.handler;
}

namespace {

const PluginMethod& RowOf(const PluginSurface* surface, const char* method) {
  const PluginMethod* row = surface ? surface->Find(method) : nullptr;
  if (!row) throw std::logic_error(std::string("no surface row for ") + method);
  return *row;
}

}  // namespace

PluginCall CMethodDispatcher::BeginCall(const char* method, int32_t& errorCode,
                                        int32_t startCode) const {
  const PluginMethod& row = RowOf(surface_, method);
  return PluginCall(result_store_, errorCode, *surface_, row, startCode);
}

void CMethodDispatcher::BeginRecord(const char* method, OperationStore& record) const {
  const PluginMethod& row = RowOf(surface_, method);
  record.Begin(static_cast<int32_t>(row.operation), surface_->componentPath,
               surface_->ApiName(row));
}

std::unique_ptr<CJSONReturn> CMethodDispatcher::Call(const std::string& name, StackFrame& args) {
  auto it = methods_.find(name);
  if (it == methods_.end() || !it->second) return nullptr;
  return it->second(*this, args);
}

std::set<std::string> CMethodDispatcher::GetMethodNames() const {
  std::set<std::string> names;
  for (const auto& entry : methods_) names.insert(entry.first);
  return names;
}

void CMethodDispatcher::AssignProperty(const std::string& name, const std::wstring& value) {
  auto it = properties_.find(name);
  if (it == properties_.end()) return;
  const BaseVar& binding = *it->second;
  const std::string& type = binding.type_name();
  if (type.find("std::basic_string") != std::string::npos) {
    std::wstring expanded(value);
    ExpandPathVariables(expanded);
    *static_cast<std::wstring*>(binding.address()) = std::move(expanded);
  } else if (type.find("int") != std::string::npos) {
    *static_cast<int32_t*>(binding.address()) = TextToInt(value);  // throws before writing
  } else if (type.find("float") != std::string::npos) {
    *static_cast<float*>(binding.address()) = TextToFloat(value);
  } else if (type.find("bool") != std::string::npos) {
    // Case-sensitive on purpose: "TRUE" is false here, unlike BoolAt.
    *static_cast<bool*>(binding.address()) = value == L"1" || value == L"true";
  }
}

}  // namespace zorel
