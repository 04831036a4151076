// The result store's folder as a Windows path (see store_folder.h).

#include "zorel/plugins/common/store_folder.h"

#include "zorel/common/utf8.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

std::wstring WindowsStoreFolder(IResultStore& store) {
  std::wstring folder = store.GetStoreFolder();
  if (!folder.empty() && folder.front() == L'/') {
    platform::IMachine* machine = platform::currentMachine();
    if (!machine) return {};
    const std::string narrow = toUtf8(folder);
    folder = machine->paths().toWindowsPath(narrow);
  }
  if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
  return folder;
}

}  // namespace zorel
