#include "zorel/app/message_translate.h"

#include "zorel/common/utf8.h"

namespace zorel::app {

CMessageTranslateImpl::CMessageTranslateImpl(PreInstallCheckSettings settings)
    : settings_(std::move(settings)) {}

CMessageTranslateImpl::~CMessageTranslateImpl() {
  std::unique_ptr<PreInstallCheck> controller;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    controller = std::move(controller_);
  }
  controller.reset();
}

std::string CMessageTranslateImpl::ProcessJSON(const std::string& request) {
  PreInstallCheck* controller;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!controller_) controller_ = std::make_unique<PreInstallCheck>(settings_);
    controller = controller_.get();
  }
  return toUtf8(controller->ProcessRequest(fromUtf8(request)));
}

void CMessageTranslateImpl::CancelIfStarted() {
  PreInstallCheck* controller;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    controller = controller_.get();
  }
  if (controller) controller->Cancel();
}

bool CMessageTranslateImpl::HasController() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controller_ != nullptr;
}

std::optional<std::string> BridgeRequestText(BridgeValueKind kind, const std::string& text) {
  switch (kind) {
    case BridgeValueKind::String:
      return text;
    case BridgeValueKind::Null:
    case BridgeValueKind::Undefined:
      return std::string();
    case BridgeValueKind::Other:
      break;
  }
  return std::nullopt;
}

}  // namespace zorel::app
