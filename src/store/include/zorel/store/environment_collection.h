#pragma once
// ENVIRONMENT_COLLECTION_TABLE: key/value facts about the machine, written
// when the store opens. Gathering the facts is done by a collector that the
// result store calls (see ResultStore::SetEnvironmentCollector).

#include <string>

#include "zorel/store/store.h"

namespace zorel {

class EnvironmentCollection : public Store {
 public:
  EnvironmentCollection();
  void AddEntry(const std::wstring& key, const std::wstring& value);
};

}  // namespace zorel
