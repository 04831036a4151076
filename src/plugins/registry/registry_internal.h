#pragma once
// Pieces the Registry object's files share.

#include <string>

namespace zorel {

class IResultStore;

// The result store's folder as a Windows path ending in '\' (empty when it
// cannot be shown as one). registry_collect.cpp.
std::wstring WindowsStoreFolder(IResultStore& store);

}  // namespace zorel
