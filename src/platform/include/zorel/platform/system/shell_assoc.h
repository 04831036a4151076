#pragma once
// File and protocol associations.
//
// Windows: AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, assoc, verb).
// Linux emulation: the same registry walk the shell does: the user's choice
// (HKCU\Software\Microsoft\Windows\Shell\Associations\UrlAssociations
// \<p>\UserChoice for protocols, ...\Explorer\FileExts\<ext>\UserChoice
// for extensions) naming a ProgID, else the class itself, then
// HKCR\<ProgID>\shell\<verb>\command; the executable is the command's first
// token, with environment variables expanded.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorel::platform {

class IRegistry;
class IEnvironment;

// HRESULT_FROM_WIN32(ERROR_NO_ASSOCIATION).
inline constexpr int32_t kHresultNoAssociation = static_cast<int32_t>(0x80070483u);

// RETURNS S_OK (0) and the executable's full path, or kHresultNoAssociation.
int32_t assocQueryExecutable(IRegistry& registry, const IEnvironment& environment,
                             std::wstring_view assoc, std::wstring_view verb,
                             std::wstring& executable);

}  // namespace zorel::platform
