#pragma once
// The built-in JScript engine class (CLSID_JScript) of coCreateInstance.

#include "zorel/platform/com/com_class.h"

namespace zorel::platform {

// A new engine answering `iid` (IUnknown, IActiveScript or
// IActiveScriptParse64). RETURNS S_OK; E_NOINTERFACE; E_OUTOFMEMORY.
HRESULT createJScriptEngine(const Guid& iid, void** object);

}  // namespace zorel::platform
