// Windows command-line splitting and quoting (see command_line.h).

#include "zorel/platform/process/command_line.h"

namespace zorel::platform {
namespace {

bool isBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<std::wstring> splitCommandLine(std::wstring_view line) {
  std::vector<std::wstring> args;
  size_t i = 0;
  // The program name: no backslash rules, a quote only delimits.
  std::wstring program;
  if (i < line.size() && line[i] == L'"') {
    ++i;
    while (i < line.size() && line[i] != L'"') program += line[i++];
    if (i < line.size()) ++i;
  } else {
    while (i < line.size() && !isBlank(line[i])) program += line[i++];
  }
  args.push_back(program);

  for (;;) {
    while (i < line.size() && isBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::wstring arg;
    bool quoted = false;
    while (i < line.size() && (quoted || !isBlank(line[i]))) {
      if (line[i] == L'\\') {
        size_t run = 0;
        while (i < line.size() && line[i] == L'\\') {
          ++run;
          ++i;
        }
        if (i < line.size() && line[i] == L'"') {
          arg.append(run / 2, L'\\');
          if (run % 2 == 1) {
            arg += L'"';
            ++i;
          }
        } else {
          arg.append(run, L'\\');
        }
        continue;
      }
      if (line[i] == L'"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == L'"') {
          arg += L'"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
        continue;
      }
      arg += line[i++];
    }
    args.push_back(std::move(arg));
  }
  return args;
}

std::wstring quoteArgument(std::wstring_view argument, bool always) {
  if (!always && !argument.empty() &&
      argument.find_first_of(L" \t\"") == std::wstring_view::npos)
    return std::wstring(argument);
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      out.append(backslashes * 2 + 1, L'\\');
    } else {
      out.append(backslashes, L'\\');
    }
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');
  out += L'"';
  return out;
}

std::vector<std::wstring> programCandidates(std::wstring_view line) {
  size_t start = 0;
  while (start < line.size() && isBlank(line[start])) ++start;
  std::wstring_view rest = line.substr(start);
  std::vector<std::wstring> names;
  if (rest.empty()) return names;
  if (rest[0] == L'"') {
    size_t close = rest.find(L'"', 1);
    names.emplace_back(rest.substr(1, close == std::wstring_view::npos ? close : close - 1));
    return names;
  }
  size_t at = 0;
  while (at < rest.size()) {
    while (at < rest.size() && !isBlank(rest[at])) ++at;
    names.emplace_back(rest.substr(0, at));
    while (at < rest.size() && isBlank(rest[at])) ++at;
  }
  return names;
}

}  // namespace zorel::platform
