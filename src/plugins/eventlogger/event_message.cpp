// Formatted messages of event records (see event_message.h).

#include "event_message.h"

#include <algorithm>
#include <cwctype>

#include "zorel/platform/base/format_message.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/plugins/eventlogger/event_filter.h"

namespace zorel::eventlogger {

namespace {

constexpr uint32_t kExpandedChars = 520;
constexpr size_t kMessageChars = 32768;
constexpr uint16_t kEnglish = 1033;

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

}  // namespace

MessageFormatter::MessageFormatter(platform::IMachine& machine, std::wstring eventgroup)
    : machine_(machine), eventgroup_(std::move(eventgroup)) {}

const std::vector<std::wstring>& MessageFormatter::FilesOf(const std::wstring& source) {
  const std::wstring key = Upper(source);
  auto found = files_.find(key);
  if (found != files_.end()) return found->second;
  std::vector<std::wstring>& files = files_[key];
  std::wstring list;
  if (platform::readString(machine_.registry(), platform::kHkeyLocalMachine,
                           std::wstring(platform::kEventLogKey) + L"\\" + eventgroup_ + L"\\" +
                               source,
                           L"EventMessageFile", &list) != platform::ERROR_SUCCESS)
    return files;
  std::vector<wchar_t> expanded(kExpandedChars, L'\0');
  const uint32_t needed =
      machine_.environment().expandEnvironmentStrings(list.c_str(), expanded.data(), kExpandedChars);
  if (needed == 0 || needed > kExpandedChars) return files;
  const std::wstring text(expanded.data());
  for (size_t start = 0; start <= text.size();) {
    const size_t end = std::min(text.find(L';', start), text.size());
    if (end > start) files.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return files;
}

const platform::MessageModule* MessageFormatter::Module(const std::wstring& path) {
  auto found = modules_.find(path);
  if (found == modules_.end()) {
    auto module = std::make_unique<platform::MessageModule>();
    if (module->load(path) != platform::ERROR_SUCCESS) module.reset();
    found = modules_.emplace(path, std::move(module)).first;
  }
  return found->second.get();
}

std::wstring MessageFormatter::Format(const platform::EventRecordFields& record) {
  for (const std::wstring& path : FilesOf(record.source)) {
    const platform::MessageModule* module = Module(path);
    if (!module) continue;  // missing, a folder, a pipe, not PE: the next file
    std::wstring text;
    if (platform::formatMessage(platform::FORMAT_MESSAGE_FROM_HMODULE |
                                    platform::FORMAT_MESSAGE_FROM_SYSTEM |
                                    platform::FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                    platform::FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                module, record.eventId, kEnglish, kMessageChars, &record.strings,
                                &text) == platform::ERROR_SUCCESS)
      return CleanMessage(std::move(text));
  }
  return {};
}

}  // namespace zorel::eventlogger
