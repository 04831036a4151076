#pragma once
// The token that opens the session pages. Given on the command line, or
// made once (24 random bytes in hexadecimal) and kept as DIR/view.token,
// readable by the owner only; the caller prints a new one once.

#include <string>

namespace zorel::reportserver {

// The token for `dataDir`: `given` when not empty, else the kept one, else
// a new one written to DIR/view.token with mode 0600. RETURNS false with a
// reason when the file cannot be read or written or holds no usable token.
//   [O] generated  true when the token was made by this call
bool loadViewToken(const std::string& dataDir, const std::string& given, std::string& token,
                   bool& generated, std::string& error);

// Whether a request carries `token`, as "Authorization: Bearer TOKEN" or as
// the query parameter token=TOKEN. The comparison takes the same time
// wherever the texts differ.
bool requestCarriesToken(const std::string& token, const std::string& authorization,
                         const std::string* queryToken);

}  // namespace zorel::reportserver
