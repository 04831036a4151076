// The keyword-expression fuzz property without libFuzzer: every input of the
// corpus folder given as argument, then 100 000 generated inputs, then the
// time of large inputs of a few shapes at two sizes, which must grow no
// faster than the size (within a wide margin). Exit 0 when all holds; a
// broken property aborts.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "keyword_expression_check.h"

namespace {

void Check(const std::string& input) {
  zorel::fuzz::CheckKeywordExpression(reinterpret_cast<const uint8_t*>(input.data()),
                                      input.size());
}

// Random inputs built from the pieces expressions are made of.
std::string Generate(std::mt19937& random) {
  static const char* const kPieces[] = {
      "&", "|", "!", "(", ")", "productname.contains[", "productname.startswith[",
      "productname.endswith[", "productname.equals[", "productname.", "name.contains[", "]",
      "[", ".", ",", " ", "a", "b", "ab", "2.0", "olvane", "R&D", "x]", "\xc3\xa9", "1"};
  std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> length(0, 24);
  std::string expression, name;
  for (int i = length(random); i > 0; --i) expression += kPieces[piece(random)];
  for (int i = length(random) / 3; i > 0; --i) name += kPieces[piece(random)];
  return expression + "\n" + name;
}

double Seconds(const std::string& input) {
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    const auto start = std::chrono::steady_clock::now();
    Check(input);
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

std::string Repeat(const std::string& piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  size_t corpus = 0;
  if (argc > 1) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
      std::ifstream in(entry.path(), std::ios::binary);
      Check(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
      ++corpus;
    }
  }
  std::mt19937 random(20240611);
  const int generated = 100000;
  for (int i = 0; i < generated; ++i) Check(Generate(random));

  // Shapes that would be quadratic in a careless evaluator, at n and 8n.
  const std::vector<std::pair<const char*, std::function<std::string(size_t)>>> shapes = {
      {"open parentheses", [](size_t n) { return Repeat("(", n) + "\na"; }},
      {"nested groups", [](size_t n) {
         return Repeat("!(", n / 2) + "productname.contains[a]" + Repeat(")", n / 2) + "\na";
       }},
      {"many operands", [](size_t n) { return Repeat("productname.contains[a]|", n / 24) + "1\nb"; }},
      {"long search", [](size_t n) {
         return "productname.endswith[" + Repeat("a", n / 2) + "b]\n" + Repeat("a", n);
       }},
  };
  bool linear = true;
  for (const auto& [what, make] : shapes) {
    const double small = Seconds(make(50000));
    const double large = Seconds(make(400000));
    const bool ok = large < 40 * small + 0.05;
    std::printf("%-18s 50k: %8.3f ms  400k: %8.3f ms%s\n", what, small * 1e3, large * 1e3,
                ok ? "" : "  (not linear)");
    linear = linear && ok;
  }
  std::printf("%zu corpus inputs, %d generated inputs checked\n", corpus, generated);
  return linear ? 0 : 1;
}
