#pragma once
// Online runs through `zorel bridge` against a real zorel-report-server on
// loopback over HTTPS (its certificate generated into the test's folder and
// trusted through ZOREL_REPORT_CA).

#include <sys/types.h>

#include <string>
#include <vector>

#include "bridge_process.h"

namespace zorel::testing {

std::string ReadAll(const std::string& path);

// The tail of one FrameWork.log line: " : ", the level text, a tab, the
// message and the line feed (the timestamp before it varies).
std::string LogLine(int level, const std::string& message);

class OnlineRun : public BridgeTest {
 protected:
  // Starts the server with `--fault` for each entry and waits for its port.
  void StartServer(const std::vector<std::string>& faults);
  void TearDown() override;
  // ZOREL_REPORT_SERVER and ZOREL_REPORT_CA for the running server.
  std::vector<std::string> Env() const;
  // The last session id the server handed out; 0 before any.
  int LastSessionId() const;

  pid_t server_ = -1;
  std::string port_;
  std::string serverData_;
};

}  // namespace zorel::testing
