#pragma once
// JSON-derived classes used only by the bridge tests.

#include <cstdint>
#include <string>

#include "zorel/bridge/json.h"

namespace zorel::test {

// One element type for arrays: an Int, a String and an array of its own.
class Leaf : public JSON {
 public:
  Leaf() {
    BindInt("id", id);
    BindString("label", label);
    BindArray("children", children);
  }
  Leaf(const Leaf& other) : Leaf() { *this = other; }
  Leaf& operator=(const Leaf&) = default;

  int32_t id = -1;
  std::string label = "fresh";
  ObjectListOf<Leaf> children;
};

// A nested object with an Int and a Float.
class Inner : public JSON {
 public:
  Inner() {
    BindInt("count", count);
    BindFloat("ratio", ratio);
  }
  int32_t count = -1;
  float ratio = -1.0f;
};

// Every member kind once. The keys are bound out of order on purpose.
class AllKinds : public JSON {
 public:
  AllKinds() {
    BindValue("value", value);
    BindInt("int", i);
    BindString("string", s);
    BindBool("bool", b);
    BindFloat("float", f);
    BindObject("object", inner);
    BindArray("array", list);
  }
  AllKinds(const AllKinds& other) : AllKinds() { *this = other; }
  AllKinds& operator=(const AllKinds& other) {
    JSON::operator=(other);
    i = other.i;
    f = other.f;
    s = other.s;
    b = other.b;
    value = other.value;
    inner.count = other.inner.count;
    inner.ratio = other.inner.ratio;
    list = other.list;
    return *this;
  }

  int32_t i = -1;
  float f = -1.0f;
  std::string s = "fresh";
  bool b = true;
  Json::Value value = "fresh";
  Inner inner;
  ObjectListOf<Leaf> list;
};

}  // namespace zorel::test
