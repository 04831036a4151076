// FrameworkLib: forwarding to the manager.

#include "zorel/framework/framework_lib.h"

namespace zorel {

FrameworkLib::FrameworkLib() : manager_(std::make_unique<FrameworkManager>()) {}

FrameworkLib::FrameworkLib(const CPluginFactory& factory)
    : manager_(std::make_unique<FrameworkManager>(factory)) {}

FrameworkLib::~FrameworkLib() = default;

bool FrameworkLib::Initialize(const std::wstring& script, const std::wstring& storeFolder,
                              platform::IManualResetEvent* cancel) {
  return manager_->Initialize(script, storeFolder, cancel);
}

bool FrameworkLib::Execute(FrameworkManager::RunRequest request, ResultJson& summary,
                           const FrameworkManager::ProgressCallback& progress) {
  return manager_->Execute(std::move(request), summary, progress);
}

bool FrameworkLib::Package(bool finalize) { return manager_->Package(finalize); }

}  // namespace zorel
