#pragma once
// The Windows registry as the program sees it: predefined root keys, key
// handles, typed values, 32/64-bit views and per-key security.
//
// Windows: advapi32's Reg* functions on the machine's real registry.
// Linux emulation: one SQLite file in the machine root (see docs/registry.md
// and the format comment in linux/registry_sqlite.cpp). Several processes may
// open the same file at once; every change is one SQLite transaction, so a
// reader sees a value either before or after a write, never half of it.
//
// Every call returns a Win32 error code (win_error.h) exactly as the Reg*
// function it mirrors would: 2 for a missing key or value, 5 when the key's
// security refuses the access asked for, 87 for bad arguments, 234 when a
// buffer is too small (the size needed is then reported), 259 at the end of
// an enumeration, 6 for a handle that is not open, 1018 for a key another
// process or handle deleted while it was open. Bad input never changes the
// registry.
//
// Names: key and value names compare case-insensitively and keep the case
// they were created with. A key name component is at most 255 characters, a
// value name at most 16383; a key path is at most 512 levels deep. A name
// holding an embedded NUL is refused with 87 (the Win32 API cannot express
// one, so no real key could be meant). Subkeys enumerate sorted
// case-insensitively, values in the order they were first created (a value
// that is overwritten keeps its place), as Windows gives them.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

// ---------------------------------------------------------------------------
// Handles and constants
// ---------------------------------------------------------------------------

// A key handle (HKEY). Zero is no key; the predefined root handles below are
// always valid and never need closing (closing one is harmless).
enum class RegKey : std::uint64_t {};

inline constexpr RegKey kRegNoKey{0};
inline constexpr RegKey kHkeyClassesRoot{0x80000000u};
inline constexpr RegKey kHkeyCurrentUser{0x80000001u};
inline constexpr RegKey kHkeyLocalMachine{0x80000002u};
inline constexpr RegKey kHkeyUsers{0x80000003u};
inline constexpr RegKey kHkeyCurrentConfig{0x80000005u};

// Value types (winnt.h). Any other type number is kept as raw bytes.
inline constexpr std::uint32_t REG_NONE = 0;
inline constexpr std::uint32_t REG_SZ = 1;
inline constexpr std::uint32_t REG_EXPAND_SZ = 2;
inline constexpr std::uint32_t REG_BINARY = 3;
inline constexpr std::uint32_t REG_DWORD = 4;
inline constexpr std::uint32_t REG_DWORD_BIG_ENDIAN = 5;
inline constexpr std::uint32_t REG_LINK = 6;
inline constexpr std::uint32_t REG_MULTI_SZ = 7;
inline constexpr std::uint32_t REG_RESOURCE_LIST = 8;
inline constexpr std::uint32_t REG_FULL_RESOURCE_DESCRIPTOR = 9;
inline constexpr std::uint32_t REG_RESOURCE_REQUIREMENTS_LIST = 10;
inline constexpr std::uint32_t REG_QWORD = 11;

// Access rights (winnt.h).
inline constexpr std::uint32_t KEY_QUERY_VALUE = 0x0001;
inline constexpr std::uint32_t KEY_SET_VALUE = 0x0002;
inline constexpr std::uint32_t KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr std::uint32_t KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr std::uint32_t KEY_NOTIFY = 0x0010;
inline constexpr std::uint32_t KEY_CREATE_LINK = 0x0020;
inline constexpr std::uint32_t KEY_WOW64_64KEY = 0x0100;
inline constexpr std::uint32_t KEY_WOW64_32KEY = 0x0200;
inline constexpr std::uint32_t DELETE = 0x00010000;
inline constexpr std::uint32_t READ_CONTROL = 0x00020000;
inline constexpr std::uint32_t WRITE_DAC = 0x00040000;
inline constexpr std::uint32_t WRITE_OWNER = 0x00080000;
inline constexpr std::uint32_t STANDARD_RIGHTS_ALL = 0x001F0000;
inline constexpr std::uint32_t MAXIMUM_ALLOWED = 0x02000000;
inline constexpr std::uint32_t GENERIC_ALL = 0x10000000;
inline constexpr std::uint32_t GENERIC_EXECUTE = 0x20000000;
inline constexpr std::uint32_t GENERIC_WRITE = 0x40000000;
inline constexpr std::uint32_t GENERIC_READ = 0x80000000;
inline constexpr std::uint32_t KEY_READ = 0x00020019;
inline constexpr std::uint32_t KEY_WRITE = 0x00020006;
inline constexpr std::uint32_t KEY_EXECUTE = 0x00020019;
inline constexpr std::uint32_t KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyEx options and dispositions.
inline constexpr std::uint32_t REG_OPTION_NON_VOLATILE = 0;
inline constexpr std::uint32_t REG_OPTION_VOLATILE = 1;
inline constexpr std::uint32_t REG_CREATED_NEW_KEY = 1;
inline constexpr std::uint32_t REG_OPENED_EXISTING_KEY = 2;

// ACE flags (winnt.h).
inline constexpr std::uint32_t OBJECT_INHERIT_ACE = 0x01;
inline constexpr std::uint32_t CONTAINER_INHERIT_ACE = 0x02;
inline constexpr std::uint32_t NO_PROPAGATE_INHERIT_ACE = 0x04;
inline constexpr std::uint32_t INHERIT_ONLY_ACE = 0x08;
inline constexpr std::uint32_t INHERITED_ACE = 0x10;

// Windows limits.
inline constexpr std::size_t kRegMaxKeyNameChars = 255;
inline constexpr std::size_t kRegMaxValueNameChars = 16383;
inline constexpr std::size_t kRegMaxDepth = 512;

// ---------------------------------------------------------------------------
// Data carried by the calls
// ---------------------------------------------------------------------------

// What RegQueryInfoKey reports. Lengths are in characters without the NUL,
// data lengths in bytes; lastWriteTime is a FILETIME (100 ns since 1601).
struct RegKeyInfo {
  std::uint32_t subKeys = 0;
  std::uint32_t maxSubKeyLen = 0;
  std::uint32_t maxClassLen = 0;
  std::uint32_t values = 0;
  std::uint32_t maxValueNameLen = 0;
  std::uint32_t maxValueLen = 0;
  std::uint32_t securityDescriptorSize = 0;
  std::int64_t lastWriteTime = 0;
};

// One access-control entry: an account (a user or group name, compared
// without case; "DOMAIN\name" also matches "name") allowed or denied a mask.
struct RegAce {
  bool allow = true;          // false: an access-denied entry
  std::wstring account;       // trustee name, e.g. L"Administrators"
  std::uint32_t mask = 0;     // KEY_* / GENERIC_* rights
  std::uint32_t flags = 0;    // *_INHERIT_ACE, INHERITED_ACE
};

// A key's security descriptor, reduced to what the registry honours.
// hasDacl false is a NULL DACL: everyone gets every right. An empty DACL that
// is present grants nothing. Entries are checked in order: a deny entry that
// covers a requested right refuses the open, allow entries add rights until
// all requested rights are granted (Windows' access check). The owner always
// holds READ_CONTROL and WRITE_DAC.
struct KeySecurity {
  std::wstring owner;         // empty: no owner recorded
  bool hasDacl = false;
  bool isProtected = false;   // true: ancestors' inheritable entries do not apply
  std::vector<RegAce> dacl;
};

// The account a registry instance acts for (the process token). Entries
// naming the user, one of the groups, "Everyone" or "Authenticated Users"
// apply to it.
struct RegistryAccount {
  std::wstring user = L"User";
  std::vector<std::wstring> groups = {L"Administrators", L"Users"};
};

struct RegistryOptions {
  RegistryAccount account;
  // HKEY_CURRENT_USER is HKEY_USERS\<currentUserSid>, as on Windows.
  std::wstring currentUserSid = L"S-1-5-21-1004336348-1177238915-682003330-1001";
  // How long a call waits for another process's write to finish.
  int busyTimeoutMs = 30000;
  // Open without write access: every change answers ERROR_ACCESS_DENIED.
  bool readOnly = false;
  // Act with the backup and restore privileges: every open is granted the
  // rights asked for, whatever the keys' DACLs say (administration tools
  // such as `zorel machine regacl`).
  bool backupRestore = false;
};

// A value read whole.
struct RegValue {
  std::wstring name;
  std::uint32_t type = REG_NONE;
  std::vector<std::uint8_t> data;
};

// ---------------------------------------------------------------------------
// The registry
// ---------------------------------------------------------------------------

// One open registry file. Thread-safe: calls from several threads are
// serialised. Handles belong to the instance that returned them.
class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // RegOpenKeyExW. samDesired holds the rights wanted plus at most one of
  // KEY_WOW64_32KEY / KEY_WOW64_64KEY (both: 87); a 32-bit machine's registry
  // has one view and ignores both flags. An empty subKey opens the
  // parent again. A leading backslash gives ERROR_BAD_PATHNAME; a trailing
  // one is ignored. Refused rights: ERROR_ACCESS_DENIED.
  virtual WinError openKey(RegKey parent, std::wstring_view subKey,
                           std::uint32_t options, std::uint32_t samDesired,
                           RegKey* result) = 0;

  // RegCreateKeyExW: opens the key, creating it and any missing parents.
  // Creating needs KEY_CREATE_SUB_KEY on the nearest existing ancestor.
  // disposition (may be null) receives REG_CREATED_NEW_KEY or
  // REG_OPENED_EXISTING_KEY. A volatile key may not get a non-volatile child
  // (ERROR_CHILD_MUST_BE_VOLATILE).
  virtual WinError createKey(RegKey parent, std::wstring_view subKey,
                             std::uint32_t options, std::uint32_t samDesired,
                             RegKey* result, std::uint32_t* disposition) = 0;

  // RegCloseKey. A handle that is not open: ERROR_INVALID_HANDLE.
  virtual WinError closeKey(RegKey key) = 0;

  // RegQueryValueExW. type, data, cbData may each be null. With data null
  // the size is reported in *cbData. A buffer too small gives
  // ERROR_MORE_DATA with the size needed in *cbData and the buffer left
  // untouched. Needs KEY_QUERY_VALUE. The empty name is the default value.
  virtual WinError queryValue(RegKey key, std::wstring_view name,
                              std::uint32_t* type, std::uint8_t* data,
                              std::uint32_t* cbData) = 0;

  // RegSetValueExW. Stores the bytes as given (strings are UTF-16LE and
  // should include their NUL, as Windows callers pass them). Needs
  // KEY_SET_VALUE.
  virtual WinError setValue(RegKey key, std::wstring_view name,
                            std::uint32_t type, const std::uint8_t* data,
                            std::uint32_t cbData) = 0;

  // RegEnumKeyExW. *cchName is the buffer size in characters on entry and
  // the name length without NUL on success; too small: ERROR_MORE_DATA.
  // lastWriteTime may be null. Needs KEY_ENUMERATE_SUB_KEYS.
  virtual WinError enumKey(RegKey key, std::uint32_t index, wchar_t* name,
                           std::uint32_t* cchName,
                           std::int64_t* lastWriteTime) = 0;

  // RegEnumValueW, buffers as enumKey and queryValue. Needs KEY_QUERY_VALUE.
  virtual WinError enumValue(RegKey key, std::uint32_t index, wchar_t* name,
                             std::uint32_t* cchName, std::uint32_t* type,
                             std::uint8_t* data, std::uint32_t* cbData) = 0;

  // RegDeleteValueW. Needs KEY_SET_VALUE.
  virtual WinError deleteValue(RegKey key, std::wstring_view name) = 0;

  // RegDeleteKeyExW: deletes subKey of key, which must have no subkeys
  // (ERROR_ACCESS_DENIED otherwise, as Windows answers). samDesired chooses
  // the view. The key itself must grant DELETE. An empty subKey: 87.
  virtual WinError deleteKey(RegKey key, std::wstring_view subKey,
                             std::uint32_t samDesired) = 0;

  // RegDeleteTreeW: deletes subKey with everything below it; with an empty
  // subKey deletes everything below key (its values and subkeys) but keeps
  // key. Each deleted key must grant DELETE.
  virtual WinError deleteTree(RegKey key, std::wstring_view subKey) = 0;

  // RegQueryInfoKeyW.
  virtual WinError queryInfoKey(RegKey key, RegKeyInfo* info) = 0;

  // RegGetKeySecurity: the key's own entries followed by the entries it
  // inherits (flagged INHERITED_ACE). Needs READ_CONTROL.
  virtual WinError getKeySecurity(RegKey key, KeySecurity* security) = 0;

  // RegSetKeySecurity: replaces the key's own descriptor (entries flagged
  // INHERITED_ACE are dropped: they come from the ancestors). Needs
  // WRITE_DAC. An account name with a control character: 87.
  virtual WinError setKeySecurity(RegKey key, const KeySecurity& security) = 0;

  // The key's full path as Windows names it after redirection, e.g.
  // L"HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vendor". A root handle
  // gives the root's full name.
  virtual WinError keyPath(RegKey key, std::wstring* path) = 0;

  // Groups the changes up to commitBatch into one transaction (a .reg import
  // does this for speed). Other processes wait while a batch is open, so
  // keep it short. Nested calls count; the outermost commit writes.
  // abortBatch discards the changes of the batch.
  virtual WinError beginBatch() = 0;
  virtual WinError commitBatch() = 0;
  virtual WinError abortBatch() = 0;

  // Checks the file's consistency (SQLite integrity check plus the tree's
  // own rules). ERROR_SUCCESS when sound; problems are described in *report.
  virtual WinError checkIntegrity(std::wstring* report) = 0;

  // A number that changes whenever this file was written, by this instance
  // or by another process, so readers can keep facts they derived until it
  // moves. -1: not known (keep nothing).
  virtual std::int64_t changeStamp() { return -1; }
};

// Opens (creating when missing) the registry file at hostPath. The folder
// must exist. ERROR_CANTOPEN when the file cannot be opened,
// ERROR_NOT_REGISTRY_FILE when it is not a registry file.
WinError openRegistry(const std::string& hostPath,
                      const RegistryOptions& options,
                      std::unique_ptr<IRegistry>* registry);

// ---------------------------------------------------------------------------
// Helpers on top of any IRegistry
// ---------------------------------------------------------------------------

// Splits "HKLM\\SOFTWARE\\x" into a root handle and the rest. Root names:
// HKEY_LOCAL_MACHINE/HKLM, HKEY_CURRENT_USER/HKCU, HKEY_CLASSES_ROOT/HKCR,
// HKEY_USERS/HKU, HKEY_CURRENT_CONFIG/HKCC, any case. A path without a
// backslash is a root alone. Unknown root: ERROR_INVALID_PARAMETER.
WinError parseKeyPath(std::wstring_view path, RegKey* root,
                      std::wstring* subKey);

// The full name of a root handle (L"HKEY_LOCAL_MACHINE"), or empty.
std::wstring rootKeyName(RegKey root);
// The abbreviation reg.exe shows (L"HKLM"), or empty.
std::wstring rootKeyAbbreviation(RegKey root);

// Reads a whole value, growing the buffer as needed.
WinError readValue(IRegistry& registry, RegKey key, std::wstring_view name,
                   RegValue* value);
// Enumerates one whole value (name, type, data).
WinError readValueAt(IRegistry& registry, RegKey key, std::uint32_t index,
                     RegValue* value);
// Enumerates one subkey name.
WinError readSubKeyAt(IRegistry& registry, RegKey key, std::uint32_t index,
                      std::wstring* name);
// Writes a value from a byte vector.
WinError writeValue(IRegistry& registry, RegKey key, std::wstring_view name,
                    std::uint32_t type, const std::vector<std::uint8_t>& data);

// Opens, reads a REG_SZ / REG_EXPAND_SZ as text (up to the first NUL) and
// closes. Other types: ERROR_INVALID_DATA. flags adds KEY_WOW64_*.
WinError readString(IRegistry& registry, RegKey root, std::wstring_view subKey,
                    std::wstring_view name, std::wstring* text,
                    std::uint32_t flags = 0);
// As readString for a REG_DWORD (4 bytes).
WinError readDword(IRegistry& registry, RegKey root, std::wstring_view subKey,
                   std::wstring_view name, std::uint32_t* number,
                   std::uint32_t flags = 0);
// Creates the key if needed and sets one value; closes the key again.
WinError writeValueAt(IRegistry& registry, RegKey root,
                      std::wstring_view subKey, std::wstring_view name,
                      std::uint32_t type, const std::vector<std::uint8_t>& data,
                      std::uint32_t flags = 0);

// Value encodings as Windows stores them.
std::vector<std::uint8_t> regSz(std::wstring_view text);  // UTF-16LE + NUL
std::vector<std::uint8_t> regMultiSz(const std::vector<std::wstring>& items);
std::vector<std::uint8_t> regDword(std::uint32_t number);
std::vector<std::uint8_t> regQword(std::uint64_t number);
// UTF-16LE bytes (no terminator) to text, stopping at the first NUL.
std::wstring regText(const std::vector<std::uint8_t>& data);
// REG_MULTI_SZ bytes to its strings (the final empty terminator dropped).
std::vector<std::wstring> regMultiText(const std::vector<std::uint8_t>& data);

// Applies SetEntriesInAcl's rule for one entry to a descriptor. mode:
// 1 GRANT_ACCESS (adds rights to the account's allow entry), 2 SET_ACCESS
// (drops the account's entries, adds one allow entry), 3 DENY_ACCESS (adds
// a deny entry), 4 REVOKE_ACCESS (drops the account's entries). The
// descriptor gets a DACL if it had none. Other modes: 87.
inline constexpr int GRANT_ACCESS = 1;
inline constexpr int SET_ACCESS = 2;
inline constexpr int DENY_ACCESS = 3;
inline constexpr int REVOKE_ACCESS = 4;
WinError mergeAclEntry(KeySecurity* security, int mode,
                       std::wstring_view account, std::uint32_t mask,
                       std::uint32_t inheritance);

// GetNamedSecurityInfoW / SetNamedSecurityInfoW for SE_REGISTRY_KEY objects,
// DACL_SECURITY_INFORMATION only. The object name starts with CLASSES_ROOT\,
// CURRENT_USER\, MACHINE\, USERS\ or CONFIG\ (any case), as the security
// functions name registry keys; any other text (HKLM\..., a root's full
// name) answers ERROR_INVALID_PARAMETER, a missing key ERROR_FILE_NOT_FOUND.
// viewFlag adds KEY_WOW64_* to the open. getNamedKeySecurity gives the
// key's own entries followed by the inherited ones (as getKeySecurity);
// setNamedKeySecurity replaces the key's own DACL and keeps its owner.
WinError getNamedKeySecurity(IRegistry& registry, std::wstring_view objectName,
                             KeySecurity* security, std::uint32_t viewFlag = 0);
WinError setNamedKeySecurity(IRegistry& registry, std::wstring_view objectName,
                             const KeySecurity& security, std::uint32_t viewFlag = 0);

// Writes HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\<n> (the
// processor's ProcessorNameString, VendorIdentifier, Identifier and ~MHz)
// from the host, as Windows does at every boot. Call once per start.
WinError refreshHardwareKeys(IRegistry& registry);

}  // namespace zorel::platform
