#pragma once
// The result store's folder as the plug-ins write collections below it.

#include <string>

namespace zorel {

class IResultStore;

// The result store's folder as a Windows path ending in '\' (empty when it
// cannot be shown as one). A store that still hands over a host folder
// (starting with '/') is shown through the machine's path mapper.
std::wstring WindowsStoreFolder(IResultStore& store);

}  // namespace zorel
