// FrameworkManager: construction and destruction, Initialize and Package.
// Execute, RunStage and the run summary are in framework_execute.cpp.

#include "zorel/framework/framework_manager.h"

#include <exception>
#include <map>
#include <memory>

#include <json/reader.h>
#include <json/value.h>

#include "last_error.h"
#include "zorel/common/utf8.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/environment_fill.h"
#include "zorel/framework/plugin_factory.h"
#include "zorel/framework/report.h"
#include "zorel/framework/report_json.h"
#include "zorel/jsengine/js_engine.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/process/sync.h"
#include "zorel/store/jsexecution_table.h"
#include "zorel/store/problem_stores.h"
#include "zorel/store/result_store.h"

namespace zorel {

FrameworkManager::FrameworkManager() : FrameworkManager(CPluginFactory::Instance()) {}

FrameworkManager::FrameworkManager(const CPluginFactory& factory) {
  CreateJsExecutionTable(runRecord_);
  objects_ = std::make_unique<CObjectManager>(factory);
  functions_ = std::make_unique<ReportScriptFunctions>();
  engine_ = std::make_unique<JSEngine>(objects_.get(), functions_.get());
  auto store = std::make_unique<ResultStore>();
  // The facts come from plug-ins the store library cannot see.
  store->SetEnvironmentCollector([&factory](EnvironmentCollection& collection) {
    FillEnvironmentCollection(collection, factory);
  });
  store_ = std::move(store);
}

FrameworkManager::~FrameworkManager() {
  // The reporting object outlives every manager: it must not keep a store
  // that is about to go.
  if (Report::Instance().GetResultStore() == store_.get()) {
    Report::Instance().SetResultStore(nullptr);
  }
  store_.reset();
  engine_.reset();   // the script heap, before the objects its natives reach
  objects_.reset();  // with it the plug-in instances
  // The run record goes with the remaining members.
}

bool FrameworkManager::Cancelled() const {
  return cancel_ && cancel_->wait(0) == platform::kWaitObject0;
}

bool FrameworkManager::Initialize(const std::wstring& script, const std::wstring& storeFolder,
                                  platform::IManualResetEvent* cancel) {
  FrameworkLog& log = FrameworkLog::Instance();
  try {
    cancel_ = cancel;
    if (Cancelled()) return false;

    if (!store_->Open(storeFolder)) {
      log.Write(LogLevel::Error, L"Failed to open the result store at: %s", storeFolder.c_str());
      return false;
    }
    storeOpen_ = true;

    Report::Instance().SetResultStore(store_.get());
    if (Cancelled()) return false;

    if (!engine_->ExecuteScript(script)) {
      log.Write(LogLevel::Error, L"Failed to execute the script: %s", script.c_str());
      return false;
    }

    objects_->SetResultStore(store_.get());
    if (Cancelled()) return false;

    RecordHeader();
    RecordStages();
    if (Cancelled()) return false;
    return true;
  } catch (...) {
    log.Write(LogLevel::Error, L"Exception occured while initializing script, ErrorCode: %d",
              LastSystemError());
    return false;
  }
}

void FrameworkManager::RecordHeader() {
  // A missing header, or one without these members, gives empty texts.
  HeaderJson header;
  const Json::Value text = engine_->GetGlobalAsJson(L"header");
  if (text.isString()) header.FromString(text.asString());
  StartJSExecution(runRecord_, fromUtf8(header.jsFileName), fromUtf8(header.jsRevision),
                   fromUtf8(header.frameworkVersion));
  store_->Insert(runRecord_);
}

// Throws (ending Initialize) when a member value is a string, an array or
// an object, or a number beyond 32 bits.
void FrameworkManager::RecordStages() {
  const Json::Value text = engine_->GetGlobalAsJson(L"ExecutionMode");
  if (!text.isString()) return;  // no ExecutionMode: no stages

  Json::Value modes;
  Json::CharReaderBuilder builder;
  builder["stackLimit"] = 1000;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  const std::string json = text.asString();
  std::string errors;
  if (!reader->parse(json.data(), json.data() + json.size(), &modes, &errors)) return;

  std::map<int32_t, std::wstring> stages;
  for (const std::string& name : modes.getMemberNames()) {
    const Json::Value& id = modes[name];
    if (id.isString() || id.isArray() || id.isObject()) {
      throw std::runtime_error("stage id is not a number");
    }
    stages[id.isNull() ? 0 : id.asInt()] = fromUtf8(name);
  }
  if (stages.empty()) return;

  ProblemStageStore rows;
  for (const auto& [id, name] : stages) rows.AddStage(id, name);
  store_->Insert(rows.Table());
}

bool FrameworkManager::Package(bool finalize) {
  FrameworkLog& log = FrameworkLog::Instance();
  try {
    if (Cancelled()) return false;
    if (finalize) {
      EndJSExecution(runRecord_, 5);
      store_->Update(runRecord_);
      if (!store_->Package()) {
        log.Write(LogLevel::Error, L"Failed to package the result store");
        return false;
      }
    }
    if (Cancelled()) return false;
    if (!store_->Close(finalize)) {
      log.Write(LogLevel::Error, L"Failed to close the result store");
      return false;
    }
    storeOpen_ = false;
    return true;
  } catch (...) {
    log.Write(LogLevel::Error, L"Exception occured while packaging, ErrorCode: %d",
              LastSystemError());
    return false;
  }
}

}  // namespace zorel
