// The registrar script parser (see registrar.h).

#include "registrar.h"

#include <cwctype>

#include "zorel/common/utf8.h"
#include "zorel/platform/registry/registry.h"

namespace zorel::wintools {
namespace {

using namespace platform;

struct Token {
  std::wstring text;
  bool quoted = false;
  size_t line = 1;
};

std::wstring upper(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towupper(c));
  return s;
}

bool tokenize(const std::wstring& script, std::vector<Token>* tokens, std::wstring* problem) {
  size_t line = 1;
  for (size_t i = 0; i < script.size();) {
    wchar_t c = script[i];
    if (c == L'\n') ++line;
    if (std::iswspace(c) || c == 0xFEFF) {
      ++i;
      continue;
    }
    Token t;
    t.line = line;
    if (c == L'\'') {
      t.quoted = true;
      ++i;
      for (;;) {
        if (i >= script.size()) {
          *problem = L"line " + std::to_wstring(t.line) + L": a quote is not closed";
          return false;
        }
        if (script[i] == L'\'') {
          if (i + 1 < script.size() && script[i + 1] == L'\'') {
            t.text += L'\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (script[i] == L'\n') ++line;
        t.text += script[i++];
      }
    } else {
      while (i < script.size() && !std::iswspace(script[i])) t.text += script[i++];
    }
    tokens->push_back(std::move(t));
  }
  return true;
}

bool substitute(const std::wstring& text, const std::wstring& module, std::wstring* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != L'%') {
      *out += text[i];
      continue;
    }
    size_t close = text.find(L'%', i + 1);
    if (close == std::wstring::npos) return false;
    std::wstring name = upper(text.substr(i + 1, close - i - 1));
    if (name.empty()) *out += L'%';
    else if (name == L"MODULE") *out += module;
    else return false;
    i = close;
  }
  return true;
}

bool hexBytes(const std::wstring& text, std::vector<uint8_t>* bytes) {
  if (text.size() % 2) return false;
  for (size_t i = 0; i < text.size(); i += 2) {
    if (!std::iswxdigit(text[i]) || !std::iswxdigit(text[i + 1])) return false;
    bytes->push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  }
  return true;
}

bool encode(const std::wstring& type, const std::wstring& value, RegistrarOp* op) {
  const std::wstring t = upper(type);
  if (t == L"S" || t == L"E") {
    op->type = t == L"S" ? REG_SZ : REG_EXPAND_SZ;
    op->data = regSz(value);
    return true;
  }
  if (t == L"D") {
    op->type = REG_DWORD;
    bool hex = value.size() > 2 && value[0] == L'0' && (value[1] == L'x' || value[1] == L'X');
    const std::wstring digits = hex ? value.substr(2) : value;
    if (digits.empty() || digits.size() > (hex ? 8u : 10u)) return false;
    uint64_t n = 0;
    for (wchar_t c : digits) {
      if (hex ? !std::iswxdigit(c) : !std::iswdigit(c)) return false;
      n = n * (hex ? 16 : 10) + (std::iswdigit(c) ? c - L'0' : std::towlower(c) - L'a' + 10);
    }
    if (n > 0xFFFFFFFFull) return false;
    op->data = regDword(static_cast<uint32_t>(n));
    return true;
  }
  if (t == L"B") {
    op->type = REG_BINARY;
    return hexBytes(value, &op->data);
  }
  if (t == L"M") {
    op->type = REG_MULTI_SZ;
    std::vector<std::wstring> items;
    size_t start = 0;
    for (;;) {
      size_t at = value.find(L"\\0", start);
      items.push_back(value.substr(start, at == std::wstring::npos ? std::wstring::npos : at - start));
      if (at == std::wstring::npos) break;
      start = at + 2;
    }
    while (!items.empty() && items.back().empty()) items.pop_back();
    op->data = regMultiSz(items);
    return true;
  }
  return false;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, const std::wstring& module, std::vector<RegistrarOp>* ops)
      : tokens_(std::move(tokens)), module_(module), ops_(ops) {}

  bool run(std::wstring* problem) {
    while (pos_ < tokens_.size()) {
      const Token& t = tokens_[pos_++];
      std::wstring root = rootName(t);
      if (root.empty()) return fail(t, L"not a root key: " + t.text, problem);
      if (!block(root, L"", problem)) return false;
    }
    return true;
  }

 private:
  static std::wstring rootName(const Token& t) {
    if (t.quoted) return {};
    const std::wstring u = upper(t.text);
    if (u == L"HKCR" || u == L"HKEY_CLASSES_ROOT") return L"HKCR";
    if (u == L"HKCU" || u == L"HKEY_CURRENT_USER") return L"HKCU";
    if (u == L"HKLM" || u == L"HKEY_LOCAL_MACHINE") return L"HKLM";
    if (u == L"HKU" || u == L"HKEY_USERS") return L"HKU";
    return {};
  }
  bool is(const Token& t, const wchar_t* word) const { return !t.quoted && t.text == word; }
  bool isWord(const Token& t, const wchar_t* word) const {
    return !t.quoted && upper(t.text) == upper(word);
  }
  bool fail(const Token& t, const std::wstring& what, std::wstring* problem) {
    *problem = L"line " + std::to_wstring(t.line) + L": " + what;
    return false;
  }
  bool failEnd(std::wstring* problem) {
    *problem = L"the script ends inside a block";
    return false;
  }
  bool name(std::wstring* out, std::wstring* problem) {
    if (pos_ >= tokens_.size()) return failEnd(problem);
    const Token& t = tokens_[pos_++];
    if (is(t, L"{") || is(t, L"}") || is(t, L"=")) return fail(t, L"a name is missing", problem);
    if (!substitute(t.text, module_, out)) return fail(t, L"unknown variable in " + t.text, problem);
    return true;
  }
  // '=' T VALUE after a name, when present.
  bool assignment(RegistrarOp* op, bool required, bool* present, std::wstring* problem) {
    *present = pos_ < tokens_.size() && is(tokens_[pos_], L"=");
    if (!*present) {
      if (required) return pos_ < tokens_.size() ? fail(tokens_[pos_], L"'=' expected", problem)
                                                 : failEnd(problem);
      return true;
    }
    ++pos_;
    if (pos_ + 1 >= tokens_.size()) return failEnd(problem);
    const Token& type = tokens_[pos_++];
    const Token& value = tokens_[pos_++];
    std::wstring text;
    if (!substitute(value.text, module_, &text))
      return fail(value, L"unknown variable in " + value.text, problem);
    if (type.quoted || !encode(type.text, text, op))
      return fail(type, L"bad value of type " + type.text + L": " + value.text, problem);
    return true;
  }
  bool block(const std::wstring& root, const std::wstring& path, std::wstring* problem) {
    if (pos_ >= tokens_.size()) return failEnd(problem);
    if (!is(tokens_[pos_], L"{")) return fail(tokens_[pos_], L"'{' expected", problem);
    ++pos_;
    for (;;) {
      if (pos_ >= tokens_.size()) return failEnd(problem);
      const Token& t = tokens_[pos_];
      if (is(t, L"}")) {
        ++pos_;
        return true;
      }
      if (isWord(t, L"val")) {
        ++pos_;
        RegistrarOp op;
        op.kind = RegistrarOp::kSetValue;
        op.root = root;
        op.key = path;
        bool present = false;
        if (!name(&op.name, problem) || !assignment(&op, true, &present, problem)) return false;
        if (path.empty()) return fail(t, L"a value directly under a root key", problem);
        ops_->push_back(std::move(op));
        continue;
      }
      RegistrarOp::Kind kind = RegistrarOp::kCreateKey;
      if (isWord(t, L"ForceRemove")) kind = RegistrarOp::kForceRemoveKey;
      if (isWord(t, L"Delete")) kind = RegistrarOp::kDeleteKey;
      if (kind != RegistrarOp::kCreateKey || isWord(t, L"NoRemove")) ++pos_;
      std::wstring keyName;
      if (!name(&keyName, problem)) return false;
      if (keyName.empty() || keyName.find(L'\\') != std::wstring::npos)
        return fail(tokens_[pos_ - 1], L"bad key name: " + keyName, problem);
      const std::wstring sub = path.empty() ? keyName : path + L"\\" + keyName;
      RegistrarOp key;
      key.kind = kind;
      key.root = root;
      key.key = sub;
      RegistrarOp value;
      value.kind = RegistrarOp::kSetValue;
      value.root = root;
      value.key = sub;
      bool hasValue = false;
      if (!assignment(&value, false, &hasValue, problem)) return false;
      ops_->push_back(key);
      if (hasValue && kind != RegistrarOp::kDeleteKey) ops_->push_back(std::move(value));
      if (pos_ < tokens_.size() && is(tokens_[pos_], L"{")) {
        // A deleted key's block is read for its syntax and not applied.
        const size_t mark = ops_->size();
        if (!block(root, sub, problem)) return false;
        if (kind == RegistrarOp::kDeleteKey) ops_->resize(mark);
      }
    }
  }

  std::vector<Token> tokens_;
  const std::wstring& module_;
  std::vector<RegistrarOp>* ops_;
  size_t pos_ = 0;
};

}  // namespace

bool parseRegistrar(const std::wstring& script, const std::wstring& module,
                    std::vector<RegistrarOp>* ops, std::wstring* problem) {
  ops->clear();
  std::vector<Token> tokens;
  if (!tokenize(script, &tokens, problem)) return false;
  std::vector<RegistrarOp> parsed;
  if (!Parser(std::move(tokens), module, &parsed).run(problem)) return false;
  *ops = std::move(parsed);
  return true;
}

std::wstring registrarText(const uint8_t* data, size_t size) {
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    std::vector<uint8_t> bytes(data + 2, data + size);
    if (bytes.size() % 2) bytes.push_back(0);
    return regText(bytes);
  }
  std::wstring text = fromUtf8(std::string(reinterpret_cast<const char*>(data), size));
  // A resource may end in NUL padding.
  while (!text.empty() && text.back() == L'\0') text.pop_back();
  return text;
}

}  // namespace zorel::wintools
