#pragma once
// CMessageTranslateImpl: the page's one way into the program. ProcessJSON
// takes a request text and returns the response text; the process's session
// controller is made by the first call, never before.

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "zorel/session/pre_install_check.h"

namespace zorel::app {

class CMessageTranslateImpl {
 public:
  explicit CMessageTranslateImpl(PreInstallCheckSettings settings);
  // Destroys the controller, which cancels a running check and waits for it.
  ~CMessageTranslateImpl();
  CMessageTranslateImpl(const CMessageTranslateImpl&) = delete;
  CMessageTranslateImpl& operator=(const CMessageTranslateImpl&) = delete;

  // A request text (UTF-8) in, the response text (UTF-8) out; empty for an
  // empty request.
  std::string ProcessJSON(const std::string& request);

  // Cancels a running check if the controller exists; never creates it.
  void CancelIfStarted();
  bool HasController() const;

 private:
  PreInstallCheckSettings settings_;
  mutable std::mutex mutex_;  // guards the pointer, not the calls
  std::unique_ptr<PreInstallCheck> controller_;
};

// What the page handed to the bridge, as far as the bridge cares.
enum class BridgeValueKind { String, Null, Undefined, Other };

// The request text for a value the page posted: a string as it is, null and
// undefined as the empty request; anything else is refused (nullopt) and
// reaches nothing.
std::optional<std::string> BridgeRequestText(BridgeValueKind kind, const std::string& text);

}  // namespace zorel::app
