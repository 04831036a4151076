#pragma once
// A JSEngine over the test plug-ins (OS with getOSName, File and Probe) and
// a recording double of the reporting functions.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "probe_plugin.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/jsengine/js_engine.h"
#include "zorel/jsengine/script_functions.h"
#include "zorel/log/framework_log.h"

namespace zorel::test {

class RecordingFunctions : public IScriptFunctions {
 public:
  std::vector<std::wstring> GetFunctionNames() const override {
    return {L"reportStatus", L"reportProblem"};
  }
  bool Invoke(const std::wstring& name, const std::wstring& argument) override {
    calls.emplace_back(name, argument);
    return name == L"reportProblem" || name == L"reportStatus";
  }
  std::vector<std::pair<std::wstring, std::wstring>> calls;
};

inline size_t LogSize() {
  std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary | std::ios::ate);
  return in ? static_cast<size_t>(in.tellg()) : 0;
}

// The log written since `from`.
inline std::string LogSince(size_t from) {
  std::ifstream in(FrameworkLog::Instance().path(), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  std::string all = s.str();
  return from < all.size() ? all.substr(from) : std::string();
}

class EngineTest : public ::testing::Test {
 protected:
  EngineTest()
      : factory_(TestPluginTable()), objects_(factory_), engine_(&objects_, &functions_),
        logStart_(LogSize()) {}

  // Runs `script`, then returns the global `out` as text (JSON of a string
  // is the quoted string, so `out` is read with String()).
  std::string Eval(const std::wstring& script) {
    EXPECT_TRUE(engine_.ExecuteScript(script)) << LogSince(logStart_);
    Json::Value v = engine_.GetGlobalAsJson(L"out");
    return v.isString() ? v.asString() : "<null>";
  }
  // The plug-in behind the script variable `var`.
  ProbePlugin* ProbeOf(const std::wstring& var) {
    std::string quoted = Eval(L"var out = " + var + L".Object_Name;");
    if (quoted.size() < 2) return nullptr;
    return dynamic_cast<ProbePlugin*>(objects_.Find(quoted.substr(1, quoted.size() - 2)));
  }
  std::string Log() const { return LogSince(logStart_); }

  CPluginFactory factory_;
  CObjectManager objects_;
  RecordingFunctions functions_;
  JSEngine engine_;
  size_t logStart_;
};

}  // namespace zorel::test
