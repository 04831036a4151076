// Applying .reg file operations to a registry, as regedit /S does.

#include <algorithm>
#include <fstream>
#include <sstream>

#include "zorel/common/utf8.h"
#include "zorel/platform/registry/reg_file.h"

namespace zorel::platform {

namespace {

// A failure of the registry file itself rather than of one line: the
// import stops there and nothing of it stays.
bool isStoreFailure(WinError rc) {
  return rc == ERROR_DISK_FULL || rc == ERROR_REGISTRY_IO_FAILED ||
         rc == ERROR_REGISTRY_CORRUPT || rc == ERROR_CANTWRITE || rc == ERROR_NOT_ENOUGH_MEMORY;
}

std::wstring describe(WinError rc) {
  switch (rc) {
    case ERROR_ACCESS_DENIED: return L"access is denied";
    case ERROR_FILE_NOT_FOUND: return L"the key does not exist";
    case ERROR_INVALID_PARAMETER: return L"invalid key or value name";
    case ERROR_BAD_PATHNAME: return L"invalid key name";
    default: return L"error " + std::to_wstring(rc);
  }
}

}  // namespace

WinError applyRegFileOps(IRegistry& registry, const std::vector<RegFileOp>& ops,
                         RegImportResult* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  RegKey current = kRegNoKey;
  std::wstring currentPath;
  // The whole file is one batch: applied completely (lines that cannot be
  // applied skipped and reported) or, when the registry file itself fails
  // (a full disk, an I/O error), not at all.
  const WinError begun = registry.beginBatch();
  if (isStoreFailure(begun)) return begun;
  const bool batch = begun == ERROR_SUCCESS;
  auto closeCurrent = [&] {
    if (current != kRegNoKey) registry.closeKey(current);
    current = kRegNoKey;
    currentPath.clear();
  };
  auto storeFailed = [&](WinError rc) {
    closeCurrent();
    if (batch) registry.abortBatch();
    return rc;
  };
  for (const RegFileOp& op : ops) {
    RegKey root;
    std::wstring sub;
    if (parseKeyPath(op.path, &root, &sub) != ERROR_SUCCESS) {
      result->problems.push_back({op.line, L"invalid key name: " + op.path});
      continue;
    }
    WinError rc = ERROR_SUCCESS;
    switch (op.kind) {
      case RegFileOp::Kind::CreateKey: {
        closeCurrent();
        rc = registry.createKey(root, sub, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE | KEY_QUERY_VALUE, &current, nullptr);
        if (rc == ERROR_SUCCESS) {
          currentPath = op.path;
          ++result->keysCreated;
        } else {
          current = kRegNoKey;
          if (isStoreFailure(rc)) return storeFailed(rc);
          result->problems.push_back({op.line, L"cannot create key " + op.path + L": " +
                                                   describe(rc)});
        }
        continue;
      }
      case RegFileOp::Kind::DeleteKey:
        closeCurrent();
        if (sub.empty()) {
          result->problems.push_back({op.line, L"cannot delete a root key: " + op.path});
          continue;
        }
        rc = registry.deleteTree(root, sub);
        if (rc == ERROR_SUCCESS) ++result->keysDeleted;
        // Deleting a key that is not there is no error to regedit.
        if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) continue;
        if (isStoreFailure(rc)) return storeFailed(rc);
        result->problems.push_back({op.line, L"cannot delete key " + op.path + L": " +
                                                 describe(rc)});
        continue;
      case RegFileOp::Kind::SetValue:
      case RegFileOp::Kind::DeleteValue:
        break;
    }
    if (current == kRegNoKey || currentPath != op.path) {
      // The key's own line failed: its values are skipped silently.
      continue;
    }
    if (op.kind == RegFileOp::Kind::SetValue) {
      rc = writeValue(registry, current, op.name, op.type, op.data);
      if (rc == ERROR_SUCCESS) ++result->valuesSet;
    } else {
      rc = registry.deleteValue(current, op.name);
      if (rc == ERROR_SUCCESS) ++result->valuesDeleted;
      if (rc == ERROR_FILE_NOT_FOUND) rc = ERROR_SUCCESS;
    }
    if (isStoreFailure(rc)) return storeFailed(rc);
    if (rc != ERROR_SUCCESS) {
      result->problems.push_back({op.line, L"cannot write value \"" + op.name + L"\": " +
                                               describe(rc)});
    }
  }
  closeCurrent();
  if (batch) {
    WinError rc = registry.commitBatch();
    if (rc != ERROR_SUCCESS) return rc;
  }
  return ERROR_SUCCESS;
}

WinError importRegBytes(IRegistry& registry, std::string_view bytes, RegImportResult* result) {
  if (result == nullptr) return ERROR_INVALID_PARAMETER;
  *result = RegImportResult();
  RegFileParse parse;
  WinError rc = parseRegText(decodeRegFileBytes(bytes), &parse);
  if (rc != ERROR_SUCCESS) return rc;
  rc = applyRegFileOps(registry, parse.ops, result);
  // Keep the problems in line order, parse problems and apply problems mixed.
  result->problems.insert(result->problems.end(), parse.problems.begin(), parse.problems.end());
  std::stable_sort(result->problems.begin(), result->problems.end(),
                   [](const RegFileProblem& a, const RegFileProblem& b) { return a.line < b.line; });
  return rc;
}

WinError importRegFile(IRegistry& registry, const std::string& hostPath,
                       RegImportResult* result) {
  std::ifstream in(hostPath, std::ios::binary);
  if (!in) return ERROR_FILE_NOT_FOUND;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return ERROR_READ_FAULT;
  return importRegBytes(registry, content.str(), result);
}

}  // namespace zorel::platform
