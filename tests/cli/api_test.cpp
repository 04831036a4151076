// `zorel api` and the tables it is printed from: the kept reference and
// declarations are what the program prints, and every component's declared
// surface agrees with what its plug-in registers and answers.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include <json/reader.h>
#include <json/value.h>

#include "zorel/framework/plugin_table.h"
#include "zorel/framework/stack_frame.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel::testing {
namespace {

struct Output {
  int status = -1;
  std::string out;
};

Output Zorel(const std::string& args) {
  Output r;
  const std::string command = ZOREL_BINARY_DIR "/src/cli/zorel api " + args + " 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) r.out.append(buffer, n);
  r.status = pclose(pipe);
  return r;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ApiCommand, KeptFilesAreWhatTheProgramPrints) {
  const struct {
    const char* format;
    const char* file;
  } kKept[] = {
      {"--markdown", "docs/script-api.md"},
      {"--dts", "examples/checks/zorel.d.ts"},
  };
  for (const auto& kept : kKept) {
    SCOPED_TRACE(kept.file);
    const Output printed = Zorel(kept.format);
    ASSERT_EQ(printed.status, 0);
    EXPECT_TRUE(printed.out == ReadFile(std::string(ZOREL_SOURCE_DIR "/") + kept.file))
        << kept.file << " is not what `zorel api " << kept.format
        << "` prints: run it and write its output to the file";
  }
  // Anything else is a usage error, not a silent default.
  EXPECT_NE(Zorel("--yaml").status, 0);
  EXPECT_NE(Zorel("--dts --json").status, 0);
}

// The model's cross references: every method's answer, filled keys and
// error codes exist, and each component keeps its script name and
// COMPONENT_NAME.
TEST(ApiCommand, ModelReferencesOnlyWhatExists) {
  const Output printed = Zorel("--json");
  ASSERT_EQ(printed.status, 0);
  Json::Value model;
  std::istringstream in(printed.out);
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &model, nullptr));

  std::map<std::string, std::set<std::string>> answerKeys;
  for (const Json::Value& a : model["answers"]) {
    for (const Json::Value& k : a["keys"]) answerKeys[a["name"].asString()].insert(k["name"].asString());
    for (const Json::Value& k : model["answers"][0]["keys"])
      answerKeys[a["name"].asString()].insert(k["name"].asString());
  }
  const std::map<std::string, std::string> kComponentNames = {
      {"COM", "Com"}, {"Process", "ProcessAPI"}, {"OS", "OS"}, {"Registry", "Registry"}};
  size_t methods = 0;
  for (const Json::Value& c : model["components"]) {
    const std::string name = c["name"].asString();
    auto expected = kComponentNames.find(name);
    if (expected != kComponentNames.end()) {
      EXPECT_EQ(c["componentName"].asString(), expected->second);
    }
    std::set<std::string> properties;
    for (const Json::Value& p : c["properties"]) properties.insert(p["name"].asString());
    for (const Json::Value& m : c["methods"]) {
      ++methods;
      SCOPED_TRACE(m["apiName"].asString());
      EXPECT_FALSE(m["summary"].asString().empty());
      if (!m["answer"].isNull()) {
        ASSERT_TRUE(answerKeys.count(m["answer"].asString()));
        std::istringstream fills(m["fills"].asString());
        for (std::string key; std::getline(fills >> std::ws, key, ',');)
          EXPECT_TRUE(answerKeys[m["answer"].asString()].count(key)) << key;
      }
      std::istringstream reads(m["reads"].asString());
      for (std::string property; std::getline(reads >> std::ws, property, ',');)
        EXPECT_TRUE(properties.count(property)) << property;
      int previous = INT32_MIN;
      for (const Json::Value& e : m["errors"]) {
        EXPECT_GT(e["code"].asInt(), previous) << "codes ascending, each once";
        previous = e["code"].asInt();
        EXPECT_FALSE(e["message"].asString().empty()) << e["code"].asInt();
      }
    }
  }
  EXPECT_EQ(model["components"].size(), 11u);
  EXPECT_GT(methods, 100u);
}

// What each plug-in registers when it is made is exactly what its surface
// declares: the method names and the properties.
TEST(ApiSurfaces, DeclareWhatThePluginsRegister) {
  for (const PluginRegistration& registration : DefaultPluginTable()) {
    SCOPED_TRACE(registration.name);
    ASSERT_NE(registration.surface, nullptr);
    const PluginSurface& surface = *registration.surface;
    EXPECT_EQ(registration.name, surface.name);
    StackFrame none;
    std::unique_ptr<CMethodDispatcher> plugin = registration.create(none);
    ASSERT_NE(plugin, nullptr);
    EXPECT_EQ(plugin->Surface(), &surface);

    std::set<std::string> declared;
    for (const PluginMethod& row : surface.methods) {
      declared.insert(row.name);
      for (size_t i = 0; i < row.api.ArgumentCount(); ++i)
        EXPECT_NE(row.api.arguments[i].meaning, nullptr) << row.name;
      for (size_t i = row.api.ArgumentCount(); i < kMaxArguments; ++i)
        EXPECT_EQ(row.api.arguments[i].name, nullptr) << row.name << ": a gap in the arguments";
    }
    EXPECT_EQ(plugin->GetMethodNames(), declared);

    std::set<std::string> properties;
    for (const PluginProperty& p : surface.properties) properties.insert(p.name);
    EXPECT_EQ(plugin->GetPropertyNames(), properties);
  }
}

}  // namespace
}  // namespace zorel::testing
