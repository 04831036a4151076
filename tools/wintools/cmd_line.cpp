// cmd's command-line rules (see cmd_line.h).

#include "cmd_line.h"

#include <cwctype>

namespace zorel::wintools {
namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring trim(const std::wstring& text) {
  size_t a = 0, b = text.size();
  while (a < b && isBlank(text[a])) ++a;
  while (b > a && isBlank(text[b - 1])) --b;
  return text.substr(a, b - a);
}

// cmd /? : without /S, quotes around the command are kept only when there
// are exactly two, nothing special between them and blanks inside them;
// otherwise a leading quote and the last quote are removed.
std::wstring stripQuotes(const std::wstring& command, bool sSwitch) {
  if (command.empty() || command[0] != L'"') return command;
  size_t quotes = 0;
  for (wchar_t c : command) quotes += c == L'"';
  size_t last = command.rfind(L'"');
  if (!sSwitch && quotes == 2) {
    std::wstring inside = command.substr(1, last - 1);
    bool special = inside.find_first_of(L"&<>()@^|") != std::wstring::npos;
    bool blank = inside.find_first_of(L" \t") != std::wstring::npos;
    if (!special && blank) return command;
  }
  return command.substr(1, last - 1) + command.substr(last + 1);
}

std::wstring refused(const std::wstring& op) {
  return L"The operator " + op +
         L" is not supported: this cmd runs one command, optionally with > FILE or >> FILE.";
}

}  // namespace

std::wstring CmdCommand::programName() const {
  std::wstring t = trim(text);
  if (!t.empty() && t[0] == L'"') {
    size_t close = t.find(L'"', 1);
    return t.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
  }
  size_t end = 0;
  while (end < t.size() && !isBlank(t[end])) ++end;
  return t.substr(0, end);
}

bool parseCmdLine(const std::wstring& line, CmdCommand* command, std::wstring* problem) {
  *command = CmdCommand{};
  size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  // The program name, quoted or up to a blank or a switch.
  if (i < line.size() && line[i] == L'"') {
    size_t close = line.find(L'"', i + 1);
    i = close == std::wstring::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && !isBlank(line[i]) && line[i] != L'/') ++i;
  }
  bool sSwitch = false, found = false;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i + 1 >= line.size() || line[i] != L'/') break;
    wchar_t s = static_cast<wchar_t>(std::towlower(line[i + 1]));
    i += 2;
    if (s == L'c' || s == L'k') {
      found = true;
      break;
    }
    if (s == L's') sSwitch = true;
    while (i < line.size() && !isBlank(line[i]) && line[i] != L'/') ++i;  // /v:on and friends
  }
  if (!found) {
    *problem = L"This cmd only runs a command given with /c COMMAND.";
    return false;
  }
  std::wstring rest = stripQuotes(trim(line.substr(i)), sSwitch);

  std::wstring text;
  bool quoted = false;
  for (size_t k = 0; k < rest.size(); ++k) {
    wchar_t c = rest[k];
    if (c == L'"') {
      quoted = !quoted;
      text += c;
      continue;
    }
    if (quoted) {
      text += c;
      continue;
    }
    if (c == L'<' || c == L'|' || c == L'&' || c == L'^') {
      *problem = refused(std::wstring(1, c));
      return false;
    }
    if (c != L'>') {
      text += c;
      continue;
    }
    // A handle number right before '>' (as in 2>): only 1, standard
    // output, is what a plain '>' means.
    if (!text.empty() && std::iswdigit(text.back()) &&
        (text.size() == 1 || isBlank(text[text.size() - 2]))) {
      if (text.back() != L'1') {
        *problem = refused(std::wstring(1, text.back()) + L">");
        return false;
      }
      text.pop_back();
    }
    if (!command->outputFile.empty()) {
      *problem = refused(L"> (a second redirection)");
      return false;
    }
    bool append = k + 1 < rest.size() && rest[k + 1] == L'>';
    if (append) ++k;
    if (k + 1 < rest.size() && rest[k + 1] == L'&') {
      *problem = refused(L">&");
      return false;
    }
    size_t f = k + 1;
    while (f < rest.size() && isBlank(rest[f])) ++f;
    std::wstring file;
    if (f < rest.size() && rest[f] == L'"') {
      size_t close = rest.find(L'"', f + 1);
      file = rest.substr(f + 1, close == std::wstring::npos ? std::wstring::npos : close - f - 1);
      f = close == std::wstring::npos ? rest.size() : close + 1;
    } else {
      while (f < rest.size() && !isBlank(rest[f]) &&
             std::wstring(L"<>|&^\"").find(rest[f]) == std::wstring::npos)
        file += rest[f++];
    }
    if (file.empty()) {
      *problem = L"The syntax of the command is incorrect.";
      return false;
    }
    command->outputFile = file;
    command->append = append;
    k = f - 1;
  }
  command->text = trim(text);
  if (command->text.empty()) {
    *problem = L"The syntax of the command is incorrect.";
    return false;
  }
  return true;
}

}  // namespace zorel::wintools
