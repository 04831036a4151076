#pragma once
// The machine facts written to ENVIRONMENT_COLLECTION_TABLE when the result
// store opens, gathered through the OS and System plug-ins.
//
// The store library cannot see the plug-ins, so the framework manager hands
// ResultStore a collector that calls FillEnvironmentCollection.

#include "zorel/store/environment_collection.h"

namespace zorel {

class CPluginFactory;

// One fact: its KEY, the component and getter that answer it, and the
// member of the getter's return object that holds the VALUE.
struct EnvironmentFact {
  const wchar_t* key;
  const char* component;
  const char* method;
  const char* member;
};

// The facts in row order.
const EnvironmentFact* EnvironmentFacts(size_t& count);

// Appends one row per fact whose getter answers "errorcode" 0, in fact
// order. The OS and System objects are made from `factory` without a result
// store, so the getters write no operation records. A component the factory
// does not know, a getter that fails or throws, or a member without a text
// form leaves its fact out. Never throws.
void FillEnvironmentCollection(EnvironmentCollection& collection, const CPluginFactory& factory);

}  // namespace zorel
