#pragma once
// A small JSON writer for the run model: 100 000 operation records are
// written straight into one string, without a document tree in between.
//
// Strings come out as valid UTF-8 whatever the store held (a malformed
// sequence becomes U+FFFD), with '<', '>' and '&' written as \u003c,
// \u003e and \u0026, and U+2028/U+2029 escaped too, so the text can sit
// inside an HTML <script> block without any value ending it.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorel::runreport {

class JsonText {
 public:
  // Containers; the writer puts the commas.
  void BeginObject() { open('{'); }
  void EndObject() { close('}'); }
  void BeginArray() { open('['); }
  void EndArray() { close(']'); }
  // The key of the next value in an object.
  void Key(std::string_view key);

  void String(std::string_view text);
  void Number(int64_t value);
  void Bool(bool value);
  void Null();

  // Key and value in one call.
  void Field(std::string_view key, std::string_view text) { Key(key); String(text); }
  void Field(std::string_view key, int64_t value) { Key(key); Number(value); }
  void FieldBool(std::string_view key, bool value) { Key(key); Bool(value); }

  const std::string& Text() const { return out_; }
  std::string Take() { return std::move(out_); }
  void Reserve(size_t bytes) { out_.reserve(bytes); }

 private:
  void open(char c);
  void close(char c);
  void separate();

  std::string out_;
  bool first_ = true;      // no value yet in the innermost container
  bool afterKey_ = false;  // a key was written; its value follows without a comma
};

}  // namespace zorel::runreport
