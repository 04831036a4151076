#pragma once
// PluginCall: the steps every plug-in method runs around its own work.
//
//   PluginCall call = BeginCall(__func__, errorcode_);  // the method's table row
//   auto result = std::make_unique<CJSONReturn>();
//   if (args.Count() < 1) { call.ArgumentError(87, L"Invalid Parameters."); }
//   else call.Run([&] { ... }, L"Exception occured while ...");
//   call.Input(args.TextAt(0));                 // under the row's first key
//   return call.Finish(std::move(result));
//
// Construction begins the operation record (type, component path and API
// name from the method's row, plugin_surface.h) and sets the plug-in's
// error code to the method's starting value. Finish writes the record (when
// the plug-in has a store), copies the error code into the return object and
// hands it back. An exception that escapes the method altogether (a failed
// argument conversion) leaves the record unwritten; the object manager logs
// it.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/input_details.h"
#include "zorel/plugins/common/plugin_surface.h"
#include "zorel/store/operation_store.h"

namespace zorel {

class IResultStore;

class PluginCall {
 public:
  // A call of `method`, a row of `surface`.
  PluginCall(IResultStore* store, int32_t& errorCode, const PluginSurface& surface,
             const PluginMethod& method, int32_t startCode = 0);
  // A call described by hand (plug-ins made for tests and benchmarks).
  PluginCall(IResultStore* store, int32_t& errorCode, int32_t operationType,
             const std::wstring& componentPath, const std::wstring& apiName,
             int32_t startCode = 0);
  PluginCall(const PluginCall&) = delete;
  PluginCall& operator=(const PluginCall&) = delete;

  // Adds an input pair under the row's next key, in the row's order. A
  // method that calls neither Input nor UsesInputs records the empty text
  // (a method without input). A value beyond the row's keys is a mistake
  // of the method and is left out.
  PluginCall& Input(std::wstring value) {
    hasInputs_ = true;
    if (nextKey_ < keys_.size() && keys_[nextKey_] != nullptr)
      inputs_.Add(keys_[nextKey_++], std::move(value));
    return *this;
  }
  // Adds an input pair under a key the method names itself (the row's keys
  // are the ones to name).
  PluginCall& Input(std::wstring name, std::wstring value) {
    hasInputs_ = true;
    inputs_.Add(std::move(name), std::move(value));
    return *this;
  }
  // A method with inputs that used none of them records "{}".
  void UsesInputs() { hasInputs_ = true; }

  // A missing or malformed input: sets `code` and logs `message` at error
  // level.
  void ArgumentError(int32_t code, const wchar_t* message);
  // A failure without a log line (the caller logs what it needs).
  void SetError(int32_t code) { errorCode_ = code; }
  int32_t ErrorCode() const { return errorCode_; }
  // The operation record; after Finish, with a store, its row holds the ID
  // the store gave it (a collection row refers to it).
  const OperationStore& Record() const { return record_; }
  bool Succeeded() const { return errorCode_ == 0; }
  // Records EXECUTION_STATUS as given instead of (error code == 0), for a
  // method whose negative answer with code 0 is recorded as not executed.
  void SetExecuted(bool executed) { executed_ = executed ? 1 : 0; }
  // The operation record carries `code` (and its message) in place of the
  // method's error code, which the script still gets.
  void RecordCode(int32_t code) { recordCode_ = code; }

  // Runs `work` inside a catch-all. An exception sets `exceptionCode` and
  // logs `exceptionMessage` at error level; false then.
  template <class Work>
  bool Run(Work&& work, const wchar_t* exceptionMessage,
           int32_t exceptionCode = 20016 /* API failed */) {
    try {
      work();
      return true;
    } catch (...) {
      Caught(exceptionMessage, exceptionCode);
      return false;
    }
  }

  // Finishes and writes the record, sets result->errorcode, returns result.
  template <class Result>
  std::unique_ptr<Result> Finish(std::unique_ptr<Result> result) {
    Complete();
    if (result) result->errorcode = errorCode_;
    return result;
  }

 private:
  void Caught(const wchar_t* message, int32_t code);
  void Complete();

  IResultStore* store_;
  int32_t& errorCode_;  // the plug-in's own error code member
  OperationStore record_;
  InputDetails inputs_;
  std::array<const wchar_t*, kMaxInputKeys> keys_{};  // the row's input keys
  size_t nextKey_ = 0;                                // the key of the next Input(value)
  bool hasInputs_ = false;
  bool finished_ = false;
  int32_t executed_ = -1;  // EXECUTION_STATUS set by SetExecuted; -1: from the code
  std::optional<int32_t> recordCode_;
};

}  // namespace zorel
