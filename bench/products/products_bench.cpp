// Products and detection speed.
//
//   products_bench [rounds]
// 1. Keyword expressions per second: the catalogue's 32 compiled expressions
//    against 1 000 names (rounds times), and compiled afresh for each test.
// 2. On a fresh machine with 5 000 uninstall entries (2 500 per view, 100 of
//    them the maker's) and 10 product registry records, with the result
//    store open: the median of 5 calls of getNonOlvaneProducts,
//    getOlvaneProducts and collect.
// 3. IsCoreComponentInstallSuccess over 10 logs of 10 MB (no install error,
//    so every byte is read): the median of 5 calls.

#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "../plugins/bench_machine.h"
#include "zorel/common/utf8.h"
#include "zorel/detect/product_catalogue.h"
#include "zorel/framework/cobject_manager.h"
#include "zorel/framework/plugin_table.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/store/result_store.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace zorel;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::wstring> BenchNames() {
  const ProductCatalogue& catalogue = ProductCatalogue::Instance();
  const wchar_t* const plain[] = {L"Acme Editor", L"Zeta Tool 2.1", L"Visual Runtime x64",
                                  L"Olvane Lantern Antivirus Beta", L"Pryne Security Demo"};
  std::vector<std::wstring> names;
  for (size_t i = 0; names.size() < 1000; ++i) {
    const auto& entries = catalogue.CompareEntries();
    if (i % 3 == 0) {
      names.push_back(fromUtf8(entries[i % entries.size()]->exactmatch) + L" " + std::to_wstring(i));
    } else {
      names.push_back(std::wstring(plain[i % std::size(plain)]) + L" " + std::to_wstring(i));
    }
  }
  return names;
}

void Expressions(int rounds) {
  const ProductCatalogue& catalogue = ProductCatalogue::Instance();
  const std::vector<std::wstring> names = BenchNames();
  const size_t count = catalogue.CompareEntries().size();
  size_t matched = 0;
  auto start = Clock::now();
  for (int r = 0; r < rounds; ++r) {
    for (const std::wstring& name : names) {
      const CStringEvaluator subject(name);
      for (size_t i = 0; i < count; ++i) matched += catalogue.Expression(i).Evaluate(subject);
    }
  }
  double seconds = Since(start);
  const double evaluations = static_cast<double>(rounds) * names.size() * count;
  std::printf("expressions, compiled once: %.0f evaluations/s (%zu x %zu x %d in %.3f s, %zu true)\n",
              evaluations / seconds, count, names.size(), rounds, seconds, matched);
  std::vector<std::wstring> texts;
  for (const CJSONProduct* entry : catalogue.CompareEntries()) texts.push_back(fromUtf8(entry->keywordmatch));
  matched = 0;
  start = Clock::now();
  for (const std::wstring& name : names)
    for (const std::wstring& text : texts) matched += EvaluateKeywordExpression(text, name);
  seconds = Since(start);
  std::printf("expressions, compiled each time: %.0f evaluations/s\n",
              static_cast<double>(names.size() * texts.size()) / seconds);
  const std::wstring opens(100000, L'(');
  start = Clock::now();
  const bool value = EvaluateKeywordExpression(opens, L"a");
  std::printf("100 000 \"(\": %s in %.3f ms\n", value ? "1" : "0", Since(start) * 1e3);
}

void Put(platform::IRegistry& registry, const std::wstring& key, const std::wstring& name,
         const std::wstring& text) {
  platform::writeValueAt(registry, platform::kHkeyLocalMachine, key, name, platform::REG_SZ,
                         platform::regSz(text), platform::KEY_WOW64_64KEY);
}

void Seed(platform::IMachine& machine) {
  platform::IRegistry& registry = machine.registry();
  const auto& entries = ProductCatalogue::Instance().CompareEntries();
  registry.beginBatch();
  const wchar_t* const views[] = {
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\",
      L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"};
  for (int view = 0; view < 2; ++view) {
    for (int i = 0; i < 2500; ++i) {
      const std::wstring key = views[view] + std::wstring(L"{BENCH-") + std::to_wstring(view) +
                               L"-" + std::to_wstring(i) + L"}";
      std::wstring name = L"Program " + std::to_wstring(view) + L"-" + std::to_wstring(i);
      if (i % 50 == 0) name = fromUtf8(entries[(i / 50) % entries.size()]->exactmatch) + L" " + std::to_wstring(view);
      Put(registry, key, L"DisplayName", name);
      Put(registry, key, L"DisplayVersion", L"1." + std::to_wstring(i));
      Put(registry, key, L"Publisher", L"Bench");
    }
  }
  Put(registry, L"SOFTWARE\\Classes\\CLSID\\{9BE8D7B2-329C-442A-A4AC-ABA9D7572602}\\LocalServer32", L"",
      L"C:\\Windows\\System32\\reg.exe");
  for (int r = 0; r < 10; ++r) {
    const std::wstring key = L"SOFTWARE\\Olvane\\ProductRegistry\\R" + std::to_wstring(r);
    Put(registry, key, L"package_name", fromUtf8(entries[r * 3 % entries.size()]->exactmatch));
    Put(registry, key, L"accnt_id", L"A" + std::to_wstring(r));
    Put(registry, key, L"e_mail", L"m@example.com");
    Put(registry, key, L"affid", r % 2 ? L"310-1" : L"0");
  }
  registry.commitBatch();
}

void WriteLogs(const std::string& root) {
  const std::string folder = root + "/drive_c/ProgramData/Olvane/OVLOGS";
  std::filesystem::create_directories(folder);
  std::string line = "2024-06-11 10:00:00 step done, result hr=0x0 module core installer\r\n";
  std::string chunk;
  while (chunk.size() < (1 << 20)) chunk += line;
  for (int f = 0; f < 10; ++f) {
    std::ofstream out(folder + "/ovehidin" + std::to_string(f) + ".log", std::ios::binary);
    for (int m = 0; m < 10; ++m) out << chunk;
  }
}

// The process's CPU time in seconds: on a machine shared with other work
// it shows what a call costs when wall time also counts waiting for a core.
double CpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double MedianOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

void Median(CObjectManager& manager, const std::string& instance, const char* method) {
  std::vector<double> wall, cpu;
  std::string answer;
  for (int i = 0; i < 5; ++i) {
    StackFrame none;
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    answer = manager.InvokeMethod(instance, method, none);
    cpu.push_back((CpuSeconds() - cpuStart) * 1e3);
    wall.push_back(Since(start) * 1e3);
  }
  std::printf("%-30s median %7.1f ms wall, %7.1f ms CPU  (wall:", method, MedianOf(wall),
              MedianOf(cpu));
  for (double t : wall) std::printf(" %.1f", t);
  std::printf(")  answer %zu bytes\n", answer.size());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  Expressions(rounds);
  const std::string base = bench::makeBenchMachine("zorel-products-bench", L"default");
  if (base.empty()) return 1;
  {
    Seed(*platform::currentMachine());
    WriteLogs(base + "/machine");
    ResultStore store;
    if (!store.Open(fromUtf8(base + "/store"))) return 1;
    CObjectManager manager(CPluginFactory::Instance());
    manager.SetResultStore(&store);
    StackFrame none;
    const std::string products = manager.CreateObject("Products", none);
    Median(manager, products, "getNonOlvaneProducts");
    Median(manager, products, "getOlvaneProducts");
    Median(manager, products, "collect");
    Median(manager, products, "IsCoreComponentInstallSuccess");
    store.Close(true);
  }
  platform::setCurrentMachine(nullptr);
  std::error_code ec;
  std::filesystem::remove_all(base, ec);
  return 0;
}
