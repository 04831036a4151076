// Keyword expressions through `zorel products eval`: the documented
// examples and edge cases, names that hold operator characters, every shape
// outside the grammar, and very deep or very long expressions.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zorel_process.h"

namespace {

using zorel::testing::RunZorel;
using zorel::testing::ZorelRun;

std::string Repeat(const std::string& piece, size_t times) {
  std::string text;
  text.reserve(piece.size() * times);
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

struct EvalCase {
  const char* what;
  std::string expression;
  std::vector<std::string> names;
  std::string expected;  // one digit per name
};

// c is productname.contains, as the rows below abbreviate it.
std::string c(const std::string& argument) { return "productname.contains[" + argument + "]"; }

TEST(ProductsEval, AnswersEachNameInOrder) {
  const std::vector<EvalCase> cases = {
      // The documented examples.
      {"and-not", "productname.contains[Shield Plus]&!(productname.endswith[Enterprise])",
       {"Acme Shield Plus 2015", "Acme Shield Plus Enterprise"}, "10"},
      {"or", "productname.startswith[acme]|productname.equals[shield]",
       {"acme tool", "Shield", "tool"}, "110"},
      {"whole expression lower-cased", "productname.CONTAINS[SHIELD]", {"acme shield"}, "1"},
      {"endswith takes the first occurrence", "productname.endswith[ab]", {"abab", "xab"}, "01"},
      {"empty argument", "productname.contains[]", {"x", ""}, "10"},
      {"startswith empty argument", "productname.startswith[]", {"x", ""}, "10"},
      {"equals on an empty name", "productname.equals[]", {""}, "0"},
      {"ampersand inside brackets splits", "productname.contains[R&D]", {"R&D tools", "r", "d]"},
       "000"},
      {"blank before an operand", "productname.contains[a] & productname.contains[b]", {"ab"},
       "0"},
      {"first argument only", "productname.contains[a,b]", {"a", "b"}, "10"},
      {"unknown variable", "name.contains[a]", {"a"}, "0"},
      {"unknown method", "productname.has[a]", {"a"}, "0"},
      {"method without bracket", "productname.contains", {"contains"}, "0"},
      // Equal precedence, left to right.
      {"or then and", c("x") + "|" + c("y") + "&" + c("z"), {"x", "xz", "yz"}, "011"},
      {"and then or", c("x") + "&" + c("y") + "|" + c("z"), {"z", "xy", "x"}, "110"},
      {"blank after the bracket", c("a") + " ", {"a", "b"}, "10"},
      {"dot inside brackets cuts the argument", "productname.contains[2.0]",
       {"version 2", "version 3.0"}, "10"},
      {"missing bracket runs to the end", "productname.contains[abc", {"xabcx", "ab"}, "10"},
      {"digit operand", "1", {"1"}, "0"},
      {"negated digit operand", "!1", {"1"}, "1"},
      {"double negation", "!!" + c("a"), {"a", "b"}, "10"},
      {"negated group", "!(" + c("a") + "|" + c("b") + ")", {"a", "c"}, "01"},
      {"further parts ignored", "productname.contains[a].equals[b]", {"a"}, "1"},
      // Names are data, whatever they hold.
      {"operator characters in names", "productname.endswith[x]", {"a)|(!&[x", "(x]"}, "10"},
      {"brackets in names", "productname.startswith[a]", {"a]|(", "[a"}, "10"},
      {"quotes in names", "productname.contains[b]", {"\"b'", "%b%"}, "11"},
  };
  for (const EvalCase& row : cases) {
    SCOPED_TRACE(row.what);
    std::vector<std::string> args{"products", "eval", row.expression};
    args.insert(args.end(), row.names.begin(), row.names.end());
    const ZorelRun run = RunZorel(args);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string expected;
    for (char digit : row.expected) expected += std::string(1, digit) + "\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.err, "");
  }
}

TEST(ProductsEval, TextOutsideTheGrammarIsFalse) {
  const std::string a = c("a");
  const std::vector<std::pair<const char*, std::string>> shapes = {
      {"empty", ""},
      {"close without open", a + ")"},
      {"lone close", ")"},
      {"open left open", "(" + a},
      {"negated open left open", "!(" + c("z")},
      {"lone open", "("},
      {"two operators", a + "&&" + a},
      {"and then or", a + "&|" + a},
      {"leading and", "&" + a},
      {"leading or", "|" + a},
      {"trailing and", a + "&"},
      {"trailing or", a + "|"},
      {"not alone", "!"},
      {"not before and", "!&" + a},
      {"not before or", a + "|!|" + a},
      {"not before close", "(" + a + "!)"},
      {"empty group", "()"},
      {"negated empty group", "!()"},
      {"operand before open", a + "(" + a + ")"},
      {"operand after close", "(" + a + ")" + a},
      {"blank after close", "(" + a + ") "},
      {"group after group", "(" + a + ")(" + a + ")"},
      {"many opens", Repeat("(", 100000)},
      {"many closes", Repeat(")", 100000)},
      {"many nots", Repeat("!", 100000)},
  };
  for (const auto& [what, expression] : shapes) {
    SCOPED_TRACE(what);
    const ZorelRun run = RunZorel({"products", "eval", expression, "a", "z", ""});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "0\n0\n0\n");
  }
}

TEST(ProductsEval, DeepNestingKeepsItsValue) {
  const size_t depth = 50000;
  // Negation innermost, so the value tells the nesting was followed.
  const std::string nested = Repeat("(", depth) + "!" + c("a") + Repeat(")", depth);
  ZorelRun run = RunZorel({"products", "eval", nested, "a", "b"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "0\n1\n");
  // 30 000 negated groups: an even count of "!".
  const std::string negated = Repeat("!(", 30000) + c("a") + Repeat(")", 30000);
  run = RunZorel({"products", "eval", negated, "a", "b"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "1\n0\n");
}

TEST(ProductsEval, TooFewArgumentsPrintUsage) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"products"}, {"products", "eval"},
        {"products", "eval", "productname.contains[a]"}, {"products", "nonsense", "x", "y"}}) {
    const ZorelRun run = RunZorel(args);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("usage: zorel products eval EXPRESSION NAME..."), std::string::npos);
  }
}

}  // namespace
