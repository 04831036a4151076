#pragma once
// The INPUT_DETAILS text of an operation record: the inputs a method used,
// as {"name":"value",...}. Values are written as they are, without escaping,
// because readers of the column take it as a display text.

#include <string>
#include <utility>
#include <vector>

namespace zorel {

class InputDetails {
 public:
  InputDetails& Add(std::wstring name, std::wstring value) {
    pairs_.emplace_back(std::move(name), std::move(value));
    return *this;
  }
  bool Empty() const { return pairs_.empty(); }
  // "{}" for no pairs.
  std::wstring Text() const;

 private:
  std::vector<std::pair<std::wstring, std::wstring>> pairs_;
};

}  // namespace zorel
