#pragma once
// A plug-in's script-visible surface, declared once as data: the component
// name, its component path, and one row per method with the function that
// runs it, the OPERATION_TYPE of its records and the keys of its
// INPUT_DETAILS. Registration (the names the script sees), dispatch (which
// function a name runs) and the operation records (type, COMPONENT_NAME,
// API_NAME, input keys) all read the same rows; a method body names none of
// them again. Each row also carries what a script author needs to call it
// (MethodApi), from which `zorel api` prints the reference and the
// TypeScript declarations. See docs/architecture.md, "Plug-ins", for the
// pattern.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace zorel {

class CJSONReturn;
class CMethodDispatcher;
class StackFrame;

// OPERATION_TYPE of a method's records. The values are stored: never change
// them.
enum class OperationType : int32_t {
  kQuery = 0,    // checks and queries
  kChange = 1,   // methods that change the machine
  kCollect = 2,  // collection methods and most value getters
};

// Runs one method on a plug-in object. Made from a member function with
// MethodOf<&Plugin::method> (framework/method_dispatcher.h).
using MethodHandler = std::unique_ptr<CJSONReturn> (*)(CMethodDispatcher&, StackFrame&);

inline constexpr size_t kMaxInputKeys = 8;
inline constexpr size_t kMaxArguments = 6;
inline constexpr size_t kMaxErrorCodes = 12;

// The type of a script value a method or property reads (every value
// reaches the plug-in as text; this is the type the text is read as).
enum class ValueType : uint8_t {
  kText,
  kNumber,
  kBoolean,
  kObject,  // a JSON object
};

// One positional argument, in call order.
struct PluginArgument {
  const char* name = nullptr;  // null ends the list
  ValueType type = ValueType::kText;
  bool optional = false;
  const char* meaning = nullptr;
};

// One script-visible property of a component (read and assigned by name;
// the text and boolean ones may also be given to the constructor).
struct PluginProperty {
  const char* name;
  ValueType type;
  const char* meaning;
};

// The "errorcode" property: the plug-in's error code, as the last method left
// it. Scripts read the code from a method's answer; the property is there
// for components that publish it.
inline constexpr const char* kErrorCodeMeaning =
    "the error code the last method ended with (each answer carries its own \"errorcode\")";
inline constexpr PluginProperty kErrorCodeProperty[] = {
    {"errorcode", ValueType::kNumber, kErrorCodeMeaning}};

// The JSON object a method's text answer holds: CJSONReturn or one of the
// classes of plugin_returns.h.
enum class AnswerKind : uint8_t {
  kReturn,
  kOSInfo,
  kOSValue,
  kCPUInfo,
  kMemoryInfo,
  kFileSystemInfo,
  kTimeInfo,
  kDiskInfo,
  kFileInfo,
  kRegValue,
  kService,
  kProducts,
  kNone,  // the method answers the empty text
};

// In MethodApi::errors: the method also passes on the Windows error code of
// a system call that failed.
inline constexpr int32_t kSystemErrors = -1;

// What a script author needs to call a method.
struct MethodApi {
  const char* summary = nullptr;  // one sentence
  std::array<PluginArgument, kMaxArguments> arguments{};
  const char* reads = nullptr;  // the properties the method reads, e.g. "key, value"
  AnswerKind answer = AnswerKind::kReturn;
  const char* fills = nullptr;  // the answer keys it sets besides "errorcode"
  // The codes it may answer besides 0, ascending; unused slots stay 0.
  std::array<int32_t, kMaxErrorCodes> errors{};

  size_t ArgumentCount() const;
  size_t ErrorCount() const;
};

struct PluginMethod {
  const char* name;           // as the script calls it; also the API_NAME suffix
  MethodHandler handler;
  OperationType operation;
  // The INPUT_DETAILS keys in the order the record lists them; unused
  // slots stay null. A method without keys records the empty text.
  std::array<const wchar_t*, kMaxInputKeys> inputs{};
  MethodApi api{};

  // The number of declared keys.
  size_t InputCount() const;
};

struct PluginSurface {
  const char* name;              // the component the script constructs; the API_NAME prefix
  const wchar_t* componentPath;  // e.g. L"plugins\\win\\env\\OS"; COMPONENT_NAME is its last element
  std::span<const PluginMethod> methods;
  std::span<const PluginProperty> properties{};  // in the order they are bound
  const char* summary = nullptr;  // what the component is for, one or two sentences
  // The API_NAME prefix when it is not `name` (COM records "Com::...").
  const char* apiPrefix = nullptr;

  // The row of `method`, or null.
  const PluginMethod* Find(std::string_view method) const;
  // "<name>::<method>", e.g. L"OS::getOSName" (apiPrefix in place of name
  // when set).
  std::wstring ApiName(const PluginMethod& method) const;
};

}  // namespace zorel
