#pragma once
// Pieces of .reg text for seeding a machine with programs, installer
// names, product registry records and class registrations.

#include <string>

namespace zorel::testing::reg {

inline const std::string kUninstall64 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline const std::string kUninstall32 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
inline const std::string kInstaller = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\Installer\\Products";
inline const std::string kRecords = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Olvane\\ProductRegistry";
inline const std::string kClass1 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{9BE8D7B2-329C-442A-A4AC-ABA9D7572602}";
inline const std::string kClass2 =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\CLSID\\{0F5FA46A-D17B-4978-8A4C-65474C8DF59F}";
// A server file the tests create (as a .reg string value).
inline const std::string kServer = "\"C:\\\\Program Files\\\\Olvane\\\\registry.exe\"";
inline const char kServerFile[] = "Program Files/Olvane/registry.exe";

inline std::string Key(const std::string& path, const std::string& values) {
  return "[" + path + "]\r\n" + values + "\r\n";
}
inline std::string Text(const std::string& name, const std::string& value) {
  return "\"" + name + "\"=\"" + value + "\"\r\n";
}
// An uninstall entry `sub` of `view` named `name`, with more value lines.
inline std::string Program(const std::string& view, const std::string& sub,
                           const std::string& name, const std::string& more = "") {
  return Key(view + "\\" + sub, Text("DisplayName", name) + more);
}
inline std::string Record(const std::string& code, const std::string& values) {
  return Key(kRecords + "\\" + code, values);
}
inline std::string Server(const std::string& classKey, const std::string& value) {
  return Key(classKey + "\\LocalServer32", "@=" + value + "\r\n");
}

}  // namespace zorel::testing::reg
