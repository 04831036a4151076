// ObjectList: owned JSON elements plus their factory.

#include "zorel/bridge/object_list.h"

#include "zorel/bridge/json.h"

namespace zorel {

ObjectList::ObjectList(Factory factory) : factory_(std::move(factory)) {}

ObjectList::ObjectList(const ObjectList& other) : factory_(other.factory_) {
  for (const auto& element : other.elements_) {
    if (JSON* copy = AddNew()) copy->FromValue(element->ToValue());
  }
}

ObjectList& ObjectList::operator=(const ObjectList& other) {
  if (this != &other) {
    ObjectList copy(other);
    *this = std::move(copy);
  }
  return *this;
}

ObjectList::ObjectList(ObjectList&&) noexcept = default;
ObjectList& ObjectList::operator=(ObjectList&&) noexcept = default;
ObjectList::~ObjectList() = default;

JSON* ObjectList::AddNew() {
  if (!factory_) return nullptr;
  std::unique_ptr<JSON> element = factory_();
  if (!element) return nullptr;
  JSON* raw = element.get();
  elements_.push_back(std::move(element));
  return raw;
}

void ObjectList::Append(std::unique_ptr<JSON> element) {
  if (element) elements_.push_back(std::move(element));
}

}  // namespace zorel
