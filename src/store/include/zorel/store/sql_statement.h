#pragma once
// One SQL statement with its values kept out of its text: the text holds a
// "?" where each value goes and the connection binds the values in order.
// A value that never passes through SQL text arrives whole, whatever it
// holds (quotes, NUL characters, text that looks like SQL).

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace zorel {

// NULL, an integer, a real or a text.
using SqlValue = std::variant<std::monostate, int64_t, double, std::wstring>;

struct SqlStatement {
  std::wstring text;             // one statement, "?" for each value
  std::vector<SqlValue> values;  // in the order of the "?"s
};

}  // namespace zorel
