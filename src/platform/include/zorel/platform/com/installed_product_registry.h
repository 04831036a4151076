#pragma once
// The maker's installed product registry: a component of the maker's
// installed products that keeps one record per installed suite (package
// name, account id, e-mail, partner code).
//
// Windows: an out-of-process COM server, created with CoCreateInstance
// after the caller has validated the module registered for the class.
// Linux emulation (our stand-in; the component itself is not part of this
// program):
//   - The class can be created when
//       HKLM\SOFTWARE\Classes\CLSID\<class>\LocalServer32   (64-bit view)
//     has a default value, REG_SZ or REG_EXPAND_SZ (expanded with the
//     machine's environment), naming an existing regular file of the
//     machine: a value starting with '"' names the text up to the next '"',
//     any other value is the path as a whole. That is the whole trust
//     validation: there is no signature to check here, so a registration
//     pointing at any existing file is trusted.
//   - Records are the sub-keys of HKLM\SOFTWARE\Olvane\ProductRegistry
//     (64-bit view); a record's code is its sub-key name, codes come in
//     enumeration order, and its values are REG_SZ values of the sub-key.
// Nothing is cached: every creation validates again and every call reads
// the registry as it is then.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/com/com_class.h"

namespace zorel::platform {

class IMachine;

// The record source, and the component that holds no data.
inline constexpr wchar_t kProductRegistryClass[] = L"{9BE8D7B2-329C-442A-A4AC-ABA9D7572602}";
inline constexpr wchar_t kPathwiseRegistryClass[] = L"{0F5FA46A-D17B-4978-8A4C-65474C8DF59F}";

// The component's result values.
inline constexpr int32_t kProductRecordFound = 7000;
inline constexpr int32_t kProductRecordMissing = 7001;

// HRESULTs of the creation (REGDB_E_CLASSNOTREG is com_class.h's).
inline constexpr int32_t kSOkResult = 0;
inline constexpr int32_t HRESULT_FILE_NOT_FOUND = static_cast<int32_t>(0x80070002u);
inline constexpr int32_t HRESULT_ACCESS_DENIED = static_cast<int32_t>(0x80070005u);

// One record.
class IProductRecord {
 public:
  virtual ~IProductRecord() = default;
  // Reads the REG_SZ value `name`, up to its first NUL.
  // RETURNS kProductRecordFound; kProductRecordMissing for a missing value,
  // a value of another type or a record deleted meanwhile (text untouched).
  virtual int32_t readValue(std::wstring_view name, std::wstring* text) = 0;
};

class IInstalledProductRegistry {
 public:
  virtual ~IInstalledProductRegistry() = default;
  // The codes of the installed products' records, in enumeration order;
  // empty when the record key is missing.
  virtual std::vector<std::wstring> productCodes() = 0;
  // Opens the record of `code`.
  // RETURNS kProductRecordFound (record set); kProductRecordMissing.
  virtual int32_t openRecord(std::wstring_view code, std::unique_ptr<IProductRecord>* record) = 0;
};

// Validates the server registered for `classId` and creates the component.
//   [O] component  set on success only.
// RETURNS S_OK (0); REGDB_E_CLASSNOTREG when the class has no usable
// LocalServer32 default value; HRESULT_FILE_NOT_FOUND when it names no
// existing file; HRESULT_ACCESS_DENIED when it names a folder or another
// thing that is not a regular file.
int32_t createInstalledProductRegistry(IMachine& machine, std::wstring_view classId,
                                       std::unique_ptr<IInstalledProductRegistry>* component);

// The server path a LocalServer32 command line names (see above).
std::wstring localServerPath(std::wstring_view commandLine);

}  // namespace zorel::platform
