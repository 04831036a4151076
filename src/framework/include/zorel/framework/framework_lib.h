#pragma once
// FrameworkLib: the face of the script framework that the session controller
// and the command line see. A thin facade: every call goes unchanged to the
// one FrameworkManager it owns (see framework_manager.h for the behaviour).

#include <memory>
#include <string>

#include "zorel/framework/framework_manager.h"

namespace zorel {

class FrameworkLib {
 public:
  FrameworkLib();
  // Over another plug-in factory (which must outlive the facade).
  explicit FrameworkLib(const CPluginFactory& factory);
  virtual ~FrameworkLib();
  FrameworkLib(const FrameworkLib&) = delete;
  FrameworkLib& operator=(const FrameworkLib&) = delete;

  bool Initialize(const std::wstring& script, const std::wstring& storeFolder,
                  platform::IManualResetEvent* cancel);
  // The request is taken by value: the caller's map is not changed.
  bool Execute(FrameworkManager::RunRequest request, ResultJson& summary,
               const FrameworkManager::ProgressCallback& progress);
  bool Package(bool finalize);

  FrameworkManager& Manager() { return *manager_; }

 private:
  std::unique_ptr<FrameworkManager> manager_;
};

}  // namespace zorel
