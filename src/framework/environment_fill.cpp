// The environment facts and their gathering through the plug-ins.

#include "zorel/framework/environment_fill.h"

#include <iterator>
#include <map>
#include <memory>
#include <string>

#include <json/value.h>

#include "zorel/common/utf8.h"
#include "zorel/framework/plugin_factory.h"
#include "zorel/plugins/common/cjson_return.h"

namespace zorel {

namespace {

const EnvironmentFact kFacts[] = {
    {L"Operating System Name", "OS", "getOSDetail", "osname"},
    {L"Operating System Major Version", "OS", "getMajorVersion", "majorversion"},
    {L"Operating System Minor Version", "OS", "getMinorVersion", "minorversion"},
    {L"Operating System Architecture", "OS", "getOSArchType", "osarchtype"},
    {L"Operating System Language", "OS", "getOSLanguage", "oslang"},
    {L"Default Web Browser", "OS", "getDefaultBrowser", "defaultbrowser"},
    {L"Installed Web Browsers", "OS", "getInstalledBrowsers", "browsers"},
    {L"CPU Name", "System", "getCPUName", "cpuname"},
    {L"Total Memory", "System", "getTotalRAM", "memorysize"},
    {L"Free Memory", "System", "getFreeRAM", "freememorysize"},
    {L"Used Memory", "System", "getUsedRAM", "usedmemorysize"},
    {L"Total Virtual Memory", "System", "getTotalVirtualMemory", "memorysize"},
    {L"Free Virtual Memory", "System", "getFreeVirtualMemory", "freememorysize"},
    {L"Used Virtual Memory", "System", "getUsedVirtualMemory", "usedmemorysize"},
    {L"Total System Drive Space", "System", "getSystemSpace", "memorysize"},
    {L"Free System Drive Space", "System", "getSystemFreeSpace", "freememorysize"},
    {L"Time Zone", "System", "getTimeZone", "timezone"},
    {L"Date", "System", "getDate", "date"},
    {L"Time", "System", "getTime", "time"},
};

// The member as the VALUE text: strings as they are, integers in decimal.
bool memberText(const Json::Value& value, std::wstring& text) {
  if (value.isString()) {
    text = fromUtf8(value.asString());
  } else if (value.isInt64()) {
    text = std::to_wstring(value.asInt64());
  } else if (value.isUInt64()) {
    text = std::to_wstring(value.asUInt64());
  } else if (value.isBool()) {
    text = value.asBool() ? L"true" : L"false";
  } else if (value.isDouble()) {
    text = fromUtf8(value.asString());
  } else {
    return false;
  }
  return true;
}

}  // namespace

const EnvironmentFact* EnvironmentFacts(size_t& count) {
  count = std::size(kFacts);
  return kFacts;
}

void FillEnvironmentCollection(EnvironmentCollection& collection, const CPluginFactory& factory) {
  // One object per component, made on first use and kept for the fill.
  std::map<std::string, std::unique_ptr<CMethodDispatcher>> objects;
  for (const EnvironmentFact& fact : kFacts) {
    try {
      auto it = objects.find(fact.component);
      if (it == objects.end()) {
        StackFrame construction;
        it = objects.emplace(fact.component, factory.Create(fact.component, construction)).first;
      }
      if (!it->second) continue;
      it->second->SetResultStore(nullptr);

      StackFrame args;
      std::unique_ptr<CJSONReturn> answer = it->second->Call(fact.method, args);
      if (!answer || answer->errorcode != 0) continue;
      std::wstring text;
      if (!memberText(answer->ToValue()[fact.member], text)) continue;
      collection.AddEntry(fact.key, text);
    } catch (...) {
      // This fact is left out; the next one is gathered as usual.
    }
  }
}

}  // namespace zorel
