// AssocQueryStringW(ASSOCSTR_EXECUTABLE) over the machine's registry.

#include "zorel/platform/machine/environment.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/shell_assoc.h"

namespace zorel::platform {
namespace {

// The program of a command line: the quoted first token, else everything up
// to the first blank that follows an ".exe".
std::wstring commandExecutable(const std::wstring& command) {
  size_t start = command.find_first_not_of(L" \t");
  if (start == std::wstring::npos) return {};
  if (command[start] == L'"') {
    const size_t end = command.find(L'"', start + 1);
    return command.substr(start + 1, end == std::wstring::npos ? std::wstring::npos : end - start - 1);
  }
  std::wstring rest = command.substr(start);
  std::wstring lower;
  for (wchar_t c : rest) lower.push_back(static_cast<wchar_t>(towlower(c)));
  const size_t exe = lower.find(L".exe");
  if (exe != std::wstring::npos) return rest.substr(0, exe + 4);
  return rest.substr(0, rest.find(L' '));
}

}  // namespace

int32_t assocQueryExecutable(IRegistry& registry, const IEnvironment& environment,
                             std::wstring_view assoc, std::wstring_view verb,
                             std::wstring& executable) {
  if (assoc.empty()) return kHresultNoAssociation;
  const std::wstring name(assoc);
  const std::wstring verbName = verb.empty() ? std::wstring(L"open") : std::wstring(verb);
  std::wstring progId;
  const std::wstring choice =
      name[0] == L'.'
          ? L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\" + name +
                L"\\UserChoice"
          : L"Software\\Microsoft\\Windows\\Shell\\Associations\\UrlAssociations\\" + name +
                L"\\UserChoice";
  if (readString(registry, kHkeyCurrentUser, choice, L"ProgId", &progId) != ERROR_SUCCESS ||
      progId.empty()) {
    progId = name;
    // An extension names its class in its default value.
    std::wstring cls;
    if (name[0] == L'.' &&
        readString(registry, kHkeyClassesRoot, name, L"", &cls) == ERROR_SUCCESS && !cls.empty())
      progId = cls;
  }
  std::wstring command;
  if (readString(registry, kHkeyClassesRoot, progId + L"\\shell\\" + verbName + L"\\command", L"",
                 &command) != ERROR_SUCCESS)
    return kHresultNoAssociation;
  executable = commandExecutable(environment.expand(command));
  return executable.empty() ? kHresultNoAssociation : 0;
}

}  // namespace zorel::platform
