#pragma once
// The online flag: whether this process talks to the report server. Written
// once at start-up by the front end, read by the session controller's
// worker.

#include <string>

namespace zorel {

void SetOnlineFlag(bool online);
bool OnlineFlag();

// The start-up connection test: online when the report server at
// baseAddress accepts a TCP connection within a few seconds. Logs "Internet is not
// connected, going offline mode" (level 1) when offline.
bool TestInternetConnection(const std::wstring& baseAddress);

}  // namespace zorel
