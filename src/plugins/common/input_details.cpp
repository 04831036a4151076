// INPUT_DETAILS text.

#include "zorel/plugins/common/input_details.h"

namespace zorel {

std::wstring InputDetails::Text() const {
  std::wstring text = L"{";
  bool first = true;
  for (const auto& [name, value] : pairs_) {
    if (!first) text += L',';
    first = false;
    text += L'"';
    text += name;
    text += L"\":\"";
    text += value;
    text += L'"';
  }
  text += L'}';
  return text;
}

}  // namespace zorel
