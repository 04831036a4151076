// COSPlugin: browsers, language, UAC level, domain membership and the
// enterprise management agent.

#include <stdexcept>
#include <vector>

#include <boost/property_tree/ptree.hpp>
#include <boost/property_tree/xml_parser.hpp>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/system/domain_info.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/system/shell_assoc.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/os/os.h"
#include "zorel/plugins/os/os_texts.h"

namespace zorel {

namespace {

const wchar_t kUacPolicyKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
const wchar_t kAgentKey[] =
    L"SOFTWARE\\Wow6432Node\\Tamsin Partners\\QVX\\Shared Components\\Framework";
const wchar_t kManifestName[] = L"FrameworkManifest.xml";
constexpr uint32_t kDataPathBytes = 1024;

bool KeyOpensForReading(platform::IRegistry& registry, const wchar_t* subKey) {
  platform::RegKey key = platform::kRegNoKey;
  if (registry.openKey(platform::kHkeyLocalMachine, subKey, 0, platform::KEY_READ, &key) !=
      platform::ERROR_SUCCESS)
    return false;
  registry.closeKey(key);
  return true;
}

}  // namespace

std::unique_ptr<CJSONOSInfo> COSPlugin::getDefaultBrowser(StackFrame&) {
  // Both outcomes assign the error code, so it starts from what it was.
  PluginCall call = BeginCall(__func__, errorcode_, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.UsesInputs();
  call.Run(
      [&] {
        platform::IMachine& machine = os_machine::Current();
        std::wstring executable;
        const int32_t hr = platform::assocQueryExecutable(
            machine.registry(), machine.environment(), L"http", L"open", executable);
        if (hr < 0) {
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"getDefaultBrowser - Failed with error 0x%08.8x.s", hr);
          result->status = false;
          call.SetError(plugin_error::kOpenAssociatedFailed);
          return;
        }
        result->defaultbrowser = toUtf8(executable);
        result->status = true;
        call.SetError(plugin_error::kSuccess);
        call.Input(executable);
      },
      L"Exception occured during getting the default browser.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getInstalledBrowsers(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        platform::IMachine& machine = os_machine::Current();
        std::wstring list;
        auto add = [&](const wchar_t* name) {
          if (!list.empty()) list += L", ";
          list += name;
        };
        platform::IRegistry& registry = machine.registry();
        if (KeyOpensForReading(registry, L"SOFTWARE\\Clients\\StartMenuInternet\\FIREFOX.EXE"))
          add(L"Firefox");
        if (KeyOpensForReading(registry, L"SOFTWARE\\Clients\\StartMenuInternet\\Google Chrome"))
          add(L"Chrome");
        if (KeyOpensForReading(registry, L"SOFTWARE\\Clients\\StartMenuInternet\\IEXPLORE.EXE"))
          add(L"IE");
        // Edge is part of every Windows 10.
        if (os_machine::AtLeast(machine, 10, 0, 0)) add(L"Edge");
        result->browsers = toUtf8(list);
        result->status = true;
        call.Input(list);
      },
      L"Exception occured during getting the installed browsers.");
  call.UsesInputs();
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getOSLanguage(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  call.Run(
      [&] {
        const platform::IVersionInfo& version = os_machine::Current().versionInfo();
        std::wstring name;
        const platform::WinError e =
            platform::lcidToLocaleName(version.systemDefaultUILanguage(), name);
        if (e != platform::ERROR_SUCCESS) {
          call.SetError(e);
          result->status = false;
          FrameworkLog::Instance().Write(
              LogLevel::Error,
              L"getOSLanguage - Error while getting locale name in LCIDToLocaleName API");
          return;
        }
        result->oslang = toUtf8(name);
        result->status = true;
      },
      L"Exception occured during getting the OS language.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONOSInfo> COSPlugin::getUACStatus(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONOSInfo>();
  result->uacstatus = 0;
  call.Run(
      [&] {
        platform::IMachine& machine = os_machine::Current();
        // Before Windows 8 the level is not read.
        if (!os_machine::AtLeast(machine, 6, 2, 0)) return;
        uint32_t consent = 0;
        platform::WinError e = platform::readDword(machine.registry(), platform::kHkeyLocalMachine,
                                                   kUacPolicyKey, L"ConsentPromptBehaviorAdmin",
                                                   &consent);
        if (e != platform::ERROR_SUCCESS) {
          call.SetError(e);
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"Unable to read ConsentPromptBehaviorAdmin key");
          return;
        }
        if (consent == 0) {
          result->uacstatus = os_texts::UacStatus(0, std::nullopt);
          return;
        }
        uint32_t secureDesktop = 0;
        e = platform::readDword(machine.registry(), platform::kHkeyLocalMachine, kUacPolicyKey,
                                L"PromptOnSecureDesktop", &secureDesktop);
        if (e != platform::ERROR_SUCCESS) {
          call.SetError(e);
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"Unable to read PromptOnSecureDesktop key");
          return;
        }
        result->uacstatus = os_texts::UacStatus(consent, secureDesktop);
      },
      L"Exception occured during getting the UAC status.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> COSPlugin::isRavelManaged(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_, plugin_error::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  // An exception keeps whatever code the steps before it set, so the
  // handler is written out here rather than taken from the skeleton.
  try {
    platform::IMachine& machine = os_machine::Current();
    platform::IRegistry& registry = machine.registry();
    platform::RegKey key = platform::kRegNoKey;
    platform::WinError e =
        registry.openKey(platform::kHkeyLocalMachine, kAgentKey, 0, platform::KEY_READ, &key);
    if (e != platform::ERROR_SUCCESS) {
      call.SetError(e);
      FrameworkLog::Instance().Write(LogLevel::Error, L"Not able to open a registry key");
      return call.Finish(std::move(result));
    }
    std::vector<uint8_t> buffer(kDataPathBytes);
    uint32_t size = kDataPathBytes;
    e = registry.queryValue(key, L"Data Path", nullptr, buffer.data(), &size);
    registry.closeKey(key);
    if (e != platform::ERROR_SUCCESS) {
      call.SetError(e);
      FrameworkLog::Instance().Write(LogLevel::Error, L"Not able to read a registry value");
      return call.Finish(std::move(result));
    }
    buffer.resize(size);
    const std::wstring folder = platform::regText(buffer);
    if (folder.empty()) {
      call.SetError(plugin_error::kDataNotFound);
      FrameworkLog::Instance().Write(LogLevel::Error, L"Data value is empty");
      return call.Finish(std::move(result));
    }
    std::wstring manifest = folder;
    if (manifest.back() != L'\\' && manifest.back() != L'/') manifest += L'\\';
    manifest += kManifestName;
    std::string hostPath;
    if (machine.paths().toHostPath(manifest, hostPath) != platform::ERROR_SUCCESS)
      throw std::runtime_error("manifest path");

    boost::property_tree::ptree tree;
    boost::property_tree::read_xml(hostPath, tree);
    bool managed = false;
    if (auto components = tree.get_child_optional("FrameworkManifest.Components")) {
      for (const auto& [element, child] : *components) {
        if (element != "ComponentID") continue;
        if (child.get<std::string>("<xmlattr>.name", "") != "Agent") continue;
        // A missing or non-numeric refcount is a malformed manifest.
        if (TextToInt(fromUtf8(child.get<std::string>("<xmlattr>.refcount"))) == 1) {
          managed = true;
          break;
        }
      }
    }
    if (managed) {
      call.SetError(plugin_error::kSuccess);
    } else {
      call.SetError(plugin_error::kDataNotFound);
      FrameworkLog::Instance().Write(LogLevel::Error, L"Data not Found");
    }
  } catch (...) {
    FrameworkLog::Instance().Write(
        LogLevel::Error,
        L"Exception Occured during checking if machine is ravel managed or not.");
  }
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> COSPlugin::isUnderDomain(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  call.Run(
      [&] {
        platform::PrimaryDomainInfoBasic info;
        const platform::WinError e =
            platform::getPrimaryDomainInformation(os_machine::Current().registry(), info);
        if (e != platform::ERROR_SUCCESS) {
          call.SetError(e);
          FrameworkLog::Instance().Write(LogLevel::Error,
                                         L"Error occured during reading domain Information.");
          return;
        }
        if (!info.domainNameDns) call.SetError(plugin_error::kNoDomainNames);
      },
      L"Exceptoin occured during checking if machine is managable or not.");
  return call.Finish(std::move(result));
}

}  // namespace zorel
