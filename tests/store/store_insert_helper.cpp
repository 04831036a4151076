// Child process of the durability test: opens the store in the folder
// given as its argument and inserts operation records until it is killed,
// writing the ID of every insert that returned true to standard output.

#include <cstdio>
#include <string>

#include "zorel/common/utf8.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  zorel::ResultStore store;
  if (!store.Open(zorel::fromUtf8(argv[1]))) return 3;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  for (;;) {
    zorel::OperationStore operation;
    operation.Begin(0, L"plugins\\win\\env\\OS", L"OS::getOSName");
    operation.Finish(L"{\"n\":\"" + std::wstring(200, L'x') + L"\"}", 1, 0);
    if (!store.Insert(operation.Table())) continue;
    int32_t id = -1;
    operation.Table().Row(0).GetInt(L"ID", id);
    const std::string line = std::to_string(id) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
  }
}
