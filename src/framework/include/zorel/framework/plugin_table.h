#pragma once
// The program's components, in registration order. CPluginFactory::Instance
// is built over this table.

#include <vector>

#include "zorel/framework/plugin_factory.h"

namespace zorel {

const std::vector<PluginRegistration>& DefaultPluginTable();

}  // namespace zorel
