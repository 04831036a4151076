// The one list of plug-in components the script can construct, in the order
// they are registered. A component whose plug-in is not built yet answers
// with a bare dispatcher: the script can construct it, it has no methods,
// and its entry is replaced here by the plug-in's own creation function.

#include "zorel/framework/plugin_table.h"

#include "zorel/plugins/com/com.h"
#include "zorel/plugins/eventlogger/eventlogger.h"
#include "zorel/plugins/file/file.h"
#include "zorel/plugins/network/network.h"
#include "zorel/plugins/os/os.h"
#include "zorel/plugins/process/process.h"
#include "zorel/plugins/products/products.h"
#include "zorel/plugins/registry/registry.h"
#include "zorel/plugins/scriptengine/scriptengine.h"
#include "zorel/plugins/service/service.h"
#include "zorel/plugins/system/system.h"

#include <memory>

namespace zorel {

const std::vector<PluginRegistration>& DefaultPluginTable() {
  static const std::vector<PluginRegistration> table = {
      {"Network", CreateNetworkPlugin, &CNetworkPlugin::kSurface},
      {"OS", CreateOSPlugin, &COSPlugin::kSurface},
      {"Products", CreateProductsPlugin, &Products::kSurface},
      {"System", CreateSystemPlugin, &CSystemPlugin::kSurface},
      {"COM", CreateComPlugin, &Com::kSurface},
      {"EventLogger", CreateEventLoggerPlugin, &CEventLoggerPlugin::kSurface},
      {"File", CreateFilePlugin, &File::kSurface},
      {"Process", CreateProcessPlugin, &Process::kSurface},
      {"Registry", CreateRegistryPlugin, &Registry::kSurface},
      {"Service", CreateServicePlugin, &Service::kSurface},
      {"ScriptEngine", CreateScriptEnginePlugin, &CScriptEnginePlugin::kSurface},
  };
  return table;
}

CPluginFactory& CPluginFactory::Instance() {
  static CPluginFactory factory(DefaultPluginTable());
  return factory;
}

}  // namespace zorel
