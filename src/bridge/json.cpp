// Conversion of bound members to and from Json::Value and styled text.

#include "zorel/bridge/json.h"

#include <cfloat>
#include <exception>
#include <iostream>
#include <limits>
#include <memory>

#include <json/reader.h>
#include <json/writer.h>

namespace zorel {

namespace {

// Deeper input is refused by the parser instead of being followed
// recursively; an array of 1 MiB "[" would otherwise end the process with a
// stack overflow.
constexpr int kParseStackLimit = 1000;

// The reader behaves as Json::Reader with its default features: comments
// allowed and kept, any value as root, trailing text ignored, no trailing
// commas, no single quotes, no special floats, no byte-order mark skipping.
std::unique_ptr<Json::CharReader> makeReader() {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = true;
  builder["allowComments"] = true;
  builder["allowTrailingCommas"] = false;
  builder["strictRoot"] = false;
  builder["allowDroppedNullPlaceholders"] = false;
  builder["allowNumericKeys"] = false;
  builder["allowSingleQuotes"] = false;
  builder["stackLimit"] = kParseStackLimit;
  builder["failIfExtra"] = false;
  builder["rejectDupKeys"] = false;
  builder["allowSpecialFloats"] = false;
  builder["skipBom"] = false;
  return std::unique_ptr<Json::CharReader>(builder.newCharReader());
}

// A double narrowed to float the way the FPU does it: out-of-range values
// become infinities rather than undefined behaviour.
float narrowToFloat(double d) {
  if (d > static_cast<double>(FLT_MAX)) {
    return std::numeric_limits<float>::infinity();
  }
  if (d < -static_cast<double>(FLT_MAX)) {
    return -std::numeric_limits<float>::infinity();
  }
  return static_cast<float>(d);
}

const Json::Value& nullValue() {
  static const Json::Value kNull;
  return kNull;
}

}  // namespace

// --- binding ---------------------------------------------------------------

void JSON::BindInt(const std::string& key, int32_t& member) {
  members_[key] = &member;
}
void JSON::BindFloat(const std::string& key, float& member) {
  members_[key] = &member;
}
void JSON::BindString(const std::string& key, std::string& member) {
  members_[key] = &member;
}
void JSON::BindObject(const std::string& key, JSON& member) {
  members_[key] = &member;
}
void JSON::BindArray(const std::string& key, ObjectList& member) {
  members_[key] = &member;
}
void JSON::BindBool(const std::string& key, bool& member) {
  members_[key] = &member;
}
void JSON::BindValue(const std::string& key, Json::Value& member) {
  members_[key] = &member;
}

bool JSON::KindOf(const std::string& key, MemberKind& kind) const {
  auto it = members_.find(key);
  if (it == members_.end()) return false;
  kind = static_cast<MemberKind>(it->second.index());
  return true;
}

// --- writing ---------------------------------------------------------------

Json::Value JSON::ToValue() const {
  Json::Value result;  // null until a key is added
  for (const auto& [key, binding] : members_) {
    switch (static_cast<MemberKind>(binding.index())) {
      case MemberKind::Int:
        result[key] = Json::Value(*std::get<int32_t*>(binding));
        break;
      case MemberKind::Float:
        result[key] =
            Json::Value(static_cast<double>(*std::get<float*>(binding)));
        break;
      case MemberKind::String:
        result[key] = Json::Value(*std::get<std::string*>(binding));
        break;
      case MemberKind::Object:
        result[key] = std::get<JSON*>(binding)->ToValue();
        break;
      case MemberKind::Array: {
        // An empty list adds no key at all.
        const ObjectList& list = *std::get<ObjectList*>(binding);
        for (size_t i = 0; i < list.Size(); ++i) {
          result[key].append(list.At(i).ToValue());
        }
        break;
      }
      case MemberKind::Bool:
        result[key] = Json::Value(*std::get<bool*>(binding));
        break;
      case MemberKind::Value:
        result[key] = *std::get<Json::Value*>(binding);
        break;
    }
  }
  return result;
}

std::string JSON::ToString() const {
  Json::StyledWriter writer;
  return writer.write(ToValue());
}

// --- reading ---------------------------------------------------------------

// Reads one member from `from`, which is an object or null. The library's
// conversions throw on a value of the wrong type (a string under an Int key,
// an integer out of range); the caller catches that and the member keeps its
// value.
void JSON::readMember(const Binding& binding, const Json::Value& from,
                      const std::string& key) {
  static const Json::Value kZero(0);
  switch (static_cast<MemberKind>(binding.index())) {
    case MemberKind::Int:
      *std::get<int32_t*>(binding) = from.get(key, kZero).asInt();
      break;
    case MemberKind::Float:
      *std::get<float*>(binding) =
          narrowToFloat(from.get(key, kZero).asDouble());
      break;
    case MemberKind::String:
      *std::get<std::string*>(binding) =
          from.get(key, Json::Value("")).asString();
      break;
    case MemberKind::Object: {
      const Json::Value* found = from.find(key.data(), key.data() + key.size());
      std::get<JSON*>(binding)->FromValue(found ? *found : kZero);
      break;
    }
    case MemberKind::Array: {
      ObjectList& list = *std::get<ObjectList*>(binding);
      const Json::Value* found = from.find(key.data(), key.data() + key.size());
      // A missing key (read as the integer 0) or any other non-array value
      // leaves the list as it was; so does a list nobody gave a factory.
      if (!found || !(found->isArray() || found->isNull())) break;
      if (!list.HasFactory()) break;
      list.Clear();
      for (Json::ArrayIndex i = 0; i < found->size(); ++i) {
        JSON* element = list.AddNew();
        if (element) element->FromValue((*found)[i]);
      }
      break;
    }
    case MemberKind::Bool:
      *std::get<bool*>(binding) = from.get(key, kZero).asBool();
      break;
    case MemberKind::Value:
      *std::get<Json::Value*>(binding) = from.get(key, kZero);
      break;
  }
}

void JSON::FromValue(const Json::Value& value) {
  // Anything but an object reads as an object without keys; Json::Value::get
  // and find would throw on an array or a scalar.
  const Json::Value& from = value.isObject() ? value : nullValue();
  for (const auto& [key, binding] : members_) {
    try {
      readMember(binding, from, key);
    } catch (const std::exception&) {
      // The member keeps its previous value; the next key is read as usual.
    }
  }
}

namespace {
thread_local uint64_t unreadableTexts = 0;
}  // namespace

uint64_t UnreadableJsonTexts() { return unreadableTexts; }

void JSON::FromString(const std::string& text) {
  Json::Value root;
  bool parsed = false;
  try {
    std::unique_ptr<Json::CharReader> reader = makeReader();
    std::string errors;
    parsed = reader->parse(text.data(), text.data() + text.size(), &root,
                           &errors);
  } catch (const std::exception&) {
    // Nesting deeper than the stack limit: what was built so far stays in
    // root, as for any other parse failure.
    parsed = false;
  }
  if (!parsed) {
    std::cout << "Parsing Unsuccessfull" << std::endl;
  }
  if (!text.empty() && (!parsed || !root.isObject())) ++unreadableTexts;
  FromValue(root);
}

}  // namespace zorel
