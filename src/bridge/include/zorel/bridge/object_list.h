#pragma once
// ObjectList: the member kind Array of JSON, a sequence of JSON-derived
// elements plus the factory that makes one empty element when a JSON array is
// read. The list owns its elements.
//
// ObjectListOf<T> presets the factory to make a T and gives typed access.

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace zorel {

class JSON;

class ObjectList {
 public:
  using Factory = std::function<std::unique_ptr<JSON>()>;

  ObjectList() = default;
  explicit ObjectList(Factory factory);
  // A copy makes its elements with the factory and reads each from the
  // source element's value; without a factory the copy is empty.
  ObjectList(const ObjectList& other);
  ObjectList& operator=(const ObjectList& other);
  ObjectList(ObjectList&&) noexcept;
  ObjectList& operator=(ObjectList&&) noexcept;
  ~ObjectList();

  void SetFactory(Factory factory) { factory_ = std::move(factory); }
  bool HasFactory() const { return static_cast<bool>(factory_); }

  // A new element from the factory appended to the list; null (and nothing
  // appended) when no factory is set or it made nothing.
  JSON* AddNew();
  void Append(std::unique_ptr<JSON> element);
  void Clear() { elements_.clear(); }

  size_t Size() const { return elements_.size(); }
  bool Empty() const { return elements_.empty(); }
  JSON& At(size_t index) { return *elements_.at(index); }
  const JSON& At(size_t index) const { return *elements_.at(index); }

 private:
  Factory factory_;
  std::vector<std::unique_ptr<JSON>> elements_;
};

template <class T>
class ObjectListOf : public ObjectList {
 public:
  ObjectListOf() : ObjectList([] { return std::make_unique<T>(); }) {}

  // A new T appended to the list.
  T& Add() {
    auto element = std::make_unique<T>();
    T& ref = *element;
    Append(std::move(element));
    return ref;
  }
  // The element at `index` as a T; null when it is of another type.
  T* Get(size_t index) { return dynamic_cast<T*>(&At(index)); }
  const T* Get(size_t index) const {
    return dynamic_cast<const T*>(&At(index));
  }
};

}  // namespace zorel
