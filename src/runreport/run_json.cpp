// The run model as JSON. The layout (keys in lower case):
//   {"format": 1, "source", "session" (number or null), "integrity",
//    "run": {"script", "revision", "framework", "start", "end", "status", "state"},
//    "environment": [[KEY, VALUE], ...],
//    "stages": [{"id", "name", "role"}],
//    "problems": [{"id", "name", "description", "url",
//                  "stages": [{"stage", "status", "state", "start", "end", "details"}]}],
//    "operations": {"columns": [...], "rows": [[...], ...]}   one array per record,
//    "collection": [{"id", "operation", "type", "kind", "source", "destination",
//                    "size", "isdb", "important"}],
//    "collectioncab": null or {"files": [{"name", "size"}], "error"},
//    "tokens": {"$GEN1002$": words, ...},
//    "missingtables": [...],
//    "summary": {"problems", "notpassed", "operations", "failedoperations"}}
// Operation records are arrays rather than objects: a store of 100 000
// records would otherwise repeat every key 100 000 times.

#include "json_text.h"
#include "zorel/runreport/requirement_words.h"
#include "zorel/runreport/run_render.h"

namespace zorel::runreport {
namespace {

constexpr const char* kOperationColumns[] = {"id",    "problem", "stage",   "type",
                                             "component", "api", "input",   "ok",
                                             "code",  "message", "start",   "end"};

void writeRun(JsonText& j, const RunHeader& h) {
  j.Key("run");
  j.BeginObject();
  j.FieldBool("present", h.present);
  j.Field("script", h.script);
  j.Field("revision", h.revision);
  j.Field("framework", h.frameworkVersion);
  j.Field("start", h.start);
  j.Field("end", h.end);
  j.Field("status", h.executionStatus);
  j.Field("state", RunStateInWords(h));
  j.EndObject();
}

void writeProblems(JsonText& j, const RunModel& model) {
  j.Key("problems");
  j.BeginArray();
  for (const Problem& p : model.problems) {
    j.BeginObject();
    j.Field("id", p.id);
    j.Field("name", p.name);
    j.Field("description", p.description);
    j.Field("url", p.url);
    j.Key("stages");
    j.BeginArray();
    for (const StageStatus& s : p.stages) {
      j.BeginObject();
      j.Field("stage", s.stage);
      j.Field("status", s.status);
      j.Field("state", StatusInWords(s.status));
      j.Field("start", s.start);
      j.Field("end", s.end);
      j.Field("details", s.details);
      j.EndObject();
    }
    j.EndArray();
    j.EndObject();
  }
  j.EndArray();
}

void writeOperations(JsonText& j, const RunModel& model) {
  j.Key("operations");
  j.BeginObject();
  j.Key("columns");
  j.BeginArray();
  for (const char* c : kOperationColumns) j.String(c);
  j.EndArray();
  j.Key("rows");
  j.BeginArray();
  for (const Operation& o : model.operations) {
    j.BeginArray();
    j.Number(o.id);
    j.Number(o.problem);
    j.Number(o.stage);
    j.Number(o.type);
    j.String(o.component);
    j.String(o.api);
    j.String(o.input);
    j.Bool(o.executionStatus == 1);
    j.Number(o.errorCode);
    j.String(o.errorString);
    j.String(o.start);
    j.String(o.end);
    j.EndArray();
  }
  j.EndArray();
  j.EndObject();
}

void writeCollection(JsonText& j, const RunModel& model) {
  j.Key("collection");
  j.BeginArray();
  for (const CollectionRow& c : model.collection) {
    j.BeginObject();
    j.Field("id", c.id);
    j.Field("operation", c.operation);
    j.Field("type", c.type);
    j.Field("kind", CollectionTypeInWords(c.type));
    j.Field("source", c.source);
    j.Field("destination", c.destination);
    j.Field("size", c.size);
    j.FieldBool("isdb", c.isDb);
    j.FieldBool("important", c.important);
    j.EndObject();
  }
  j.EndArray();
  j.Key("collectioncab");
  if (!model.hasCollectionCab) {
    j.Null();
    return;
  }
  j.BeginObject();
  j.Key("files");
  j.BeginArray();
  for (const CabinetEntry& f : model.collectionCab) {
    j.BeginObject();
    j.Field("name", f.name);
    j.Field("size", static_cast<int64_t>(f.size));
    j.EndObject();
  }
  j.EndArray();
  j.Field("error", model.collectionCabError);
  j.EndObject();
}

}  // namespace

std::string RenderJson(const RunModel& model) {
  JsonText j;
  j.Reserve(4096 + model.operations.size() * 200);
  j.BeginObject();
  j.Field("format", 1);
  j.Field("source", model.source);
  j.Key("session");
  if (model.sessionId >= 0) {
    j.Number(model.sessionId);
  } else {
    j.Null();
  }
  j.Field("integrity", model.integrity);
  writeRun(j, model.header);
  j.Key("environment");
  j.BeginArray();
  for (const auto& [key, value] : model.environment) {
    j.BeginArray();
    j.String(key);
    j.String(value);
    j.EndArray();
  }
  j.EndArray();
  j.Key("stages");
  j.BeginArray();
  for (const Stage& s : model.stages) {
    j.BeginObject();
    j.Field("id", s.id);
    j.Field("name", s.name);
    j.Field("role", StageRoleInWords(s.id));
    j.EndObject();
  }
  j.EndArray();
  writeProblems(j, model);
  writeOperations(j, model);
  writeCollection(j, model);
  j.Key("tokens");
  j.BeginObject();
  for (const auto& [token, words] : RequirementTokens()) j.Field(token, words);
  j.EndObject();
  j.Key("missingtables");
  j.BeginArray();
  for (const std::string& t : model.missingTables) j.String(t);
  j.EndArray();
  j.Key("summary");
  j.BeginObject();
  j.Field("problems", static_cast<int64_t>(model.problems.size()));
  j.Field("notpassed", static_cast<int64_t>(ProblemsNotPassed(model)));
  j.Field("operations", static_cast<int64_t>(model.operations.size()));
  j.Field("failedoperations", static_cast<int64_t>(FailedOperations(model)));
  j.EndObject();
  j.EndObject();
  std::string text = j.Take();
  text += '\n';
  return text;
}

}  // namespace zorel::runreport
