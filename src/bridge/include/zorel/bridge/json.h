#pragma once
// JSON: the base of every JSON message and data structure of the program.
//
// A derived class binds each of its members to a key and a member kind in its
// constructor; the base converts the whole object to and from a Json::Value
// and styled JSON text. Derived classes write no conversion code of their own.
//
// Reading never fails towards the caller: a text that does not parse is
// announced with "Parsing Unsuccessfull" on standard output and the members
// are read from whatever the parser produced; a value of the wrong type under
// a key leaves that member as it was; a value that is not an object where an
// object is expected reads as an object without any key.
//
// The registry holds addresses inside the object itself, so a JSON object is
// never copied with its registry. A derived class that wants copies binds its
// members again, e.g.
//   Foo(const Foo& other) : Foo() { *this = other; }
//   Foo& operator=(const Foo&) = default;   // the base keeps its own bindings

#include <cstdint>
#include <map>
#include <string>
#include <variant>

#include <json/value.h>

#include "zorel/bridge/object_list.h"

namespace zorel {

// The codes are fixed: they are the kinds a binding is declared with.
enum class MemberKind : int32_t {
  Int = 0,     // int32_t, JSON integer
  Float = 1,   // float, JSON real (widened to double)
  String = 2,  // narrow (UTF-8) std::string, JSON string
  Object = 3,  // another JSON-derived object, its own value
  Array = 4,   // ObjectList, JSON array of the elements' values
  Bool = 5,    // bool, JSON boolean
  Value = 6,   // Json::Value held unchanged
};

class JSON {
 public:
  JSON() = default;
  JSON(const JSON&) = delete;
  virtual ~JSON() = default;

  // Json::StyledWriter applied to ToValue(): keys ascending, three-blank
  // indent, " : " between key and value, a line feed at the end.
  virtual std::string ToString() const;

  // The bound members as a JSON object, keys ascending. An empty ObjectList
  // adds no key; an object to which no key was added is null.
  virtual Json::Value ToValue() const;

  // Sets every bound member from `value` (see the file comment). A missing
  // key sets Int, Float, String, Bool and Value members to the zero of their
  // kind; an Array member is only replaced by an array or an explicit null.
  virtual void FromValue(const Json::Value& value);

  // Parses `text` (comments allowed) and reads it with FromValue.
  virtual void FromString(const std::string& text);

  // The kind bound to `key`, if any.
  bool KindOf(const std::string& key, MemberKind& kind) const;

 protected:
  // Keeps this object's own bindings; derived copy assignment copies the
  // members themselves.
  JSON& operator=(const JSON&) { return *this; }

  // Binding a key again replaces the earlier binding.
  void BindInt(const std::string& key, int32_t& member);
  void BindFloat(const std::string& key, float& member);
  void BindString(const std::string& key, std::string& member);
  void BindObject(const std::string& key, JSON& member);
  void BindArray(const std::string& key, ObjectList& member);
  void BindBool(const std::string& key, bool& member);
  void BindValue(const std::string& key, Json::Value& member);

 private:
  // The alternatives are in MemberKind order, so index() is the kind code.
  using Binding = std::variant<int32_t*, float*, std::string*, JSON*,
                               ObjectList*, bool*, Json::Value*>;
  std::map<std::string, Binding> members_;  // std::less: byte-wise ascending

  static void readMember(const Binding& binding, const Json::Value& from,
                         const std::string& key);
};

// How many non-empty texts FromString was given on the calling thread that
// did not read as a JSON object (no JSON at all, or a bare number, text or
// array). A caller that cannot see the object a library call filled (the
// report client's answer to an upload) compares the count around the call.
uint64_t UnreadableJsonTexts();

}  // namespace zorel
