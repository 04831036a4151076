// The status table and the differing calls of `zorel matrix`.

#include "matrix_report.h"

#include <json/reader.h>
#include <json/writer.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <tuple>

#include "check_summary.h"
#include "zorel/runreport/requirement_words.h"

namespace zorel::cli {
namespace {

// A stage row's status in words: 0 the stage did not run the problem, 1
// (or below) passed, 2 started but never reported, any other number the
// script's own failure code.
std::string statusWords(const Json::Value& status) {
  const int code = status["status"].asInt();
  if (code == 0) return "not run";
  if (code <= 1) return "passed";
  if (code == 2) return "not finished";
  return "failed (" + std::to_string(code) + ")";
}

std::string compact(const Json::Value& value) {
  Json::StreamWriterBuilder writer;
  writer["indentation"] = "";
  writer["emitUTF8"] = true;
  return Json::writeString(writer, value);
}

// The text cut to `width` characters with "..." (UTF-8 sequences kept whole).
std::string cut(const std::string& text, size_t width) {
  if (text.size() <= width) return text;
  size_t end = width - 3;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end) + "...";
}

// A call's identity: component, method, arguments and its number among the
// calls with the same three, so the n-th such call of one image meets the
// n-th of another.
using CallKey = std::tuple<std::string, std::string, std::string, int>;

struct KeyedCall {
  Json::Value arguments;
  std::vector<MatrixReport::Outcome> outcomes;
  size_t firstSeen = 0;  // order of the first image that made it
};

// Reads one image's trace into `calls`; returns the lines it could not read.
int readTrace(const std::string& file, size_t image, size_t images,
              std::map<CallKey, KeyedCall>& calls, size_t& order) {
  std::ifstream in(file, std::ios::binary);
  std::map<std::tuple<std::string, std::string, std::string>, int> seen;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string line;
  int unreadable = 0;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    Json::Value call;
    std::string errors;
    if (!reader->parse(line.data(), line.data() + line.size(), &call, &errors) ||
        !call.isObject()) {
      ++unreadable;
      continue;
    }
    const std::string component = call["component"].asString();
    const std::string method = call["method"].asString();
    const std::string arguments = compact(call["arguments"]);
    const int occurrence = ++seen[{component, method, arguments}];
    KeyedCall& keyed = calls[{component, method, arguments, occurrence}];
    if (keyed.outcomes.empty()) {
      keyed.outcomes.resize(images);
      keyed.arguments = call["arguments"];
      keyed.firstSeen = order++;
    }
    MatrixReport::Outcome& outcome = keyed.outcomes[image];
    outcome.called = true;
    outcome.answered = call["errorcode"].isIntegral();
    outcome.errorCode = outcome.answered ? call["errorcode"].asInt64() : 0;
    outcome.answer = call["answer"].asString();
  }
  return unreadable;
}

bool sameOutcome(const MatrixReport::Outcome& a, const MatrixReport::Outcome& b) {
  return a.called == b.called && a.answered == b.answered && a.errorCode == b.errorCode &&
         a.answer == b.answer;
}

Json::Value parsedAnswer(const std::string& answer) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  Json::Value value;
  std::string errors;
  if (!reader->parse(answer.data(), answer.data() + answer.size(), &value, &errors)) return {};
  return value;
}

// The members of the answers that are not the same on every image that
// answered, so a line shows what differs rather than the whole answer.
std::vector<std::string> differingMembers(const std::vector<Json::Value>& answers) {
  std::set<std::string> names;
  for (const Json::Value& a : answers)
    if (a.isObject())
      for (const std::string& name : a.getMemberNames()) names.insert(name);
  std::vector<std::string> differing;
  for (const std::string& name : names) {
    const Json::Value* first = nullptr;
    for (const Json::Value& a : answers) {
      if (!a.isObject()) continue;
      const Json::Value& v = a.isMember(name) ? a[name] : Json::Value::nullSingleton();
      if (!first) {
        first = &v;
      } else if (!(*first == v)) {
        differing.push_back(name);
        break;
      }
    }
  }
  return differing;
}

std::string outcomeText(const MatrixReport::Outcome& o, const Json::Value& answer,
                        const std::vector<std::string>& members, size_t width) {
  if (!o.called) return "(not called)";
  if (!o.answered) return "(no answer)";
  std::string text = "code " + std::to_string(o.errorCode);
  if (!answer.isObject()) return text + "  " + cut(o.answer, width);
  std::string shown;
  for (const std::string& name : members) {
    if (name == "errorcode") continue;
    if (!shown.empty()) shown += ", ";
    shown += name + " " + (answer.isMember(name) ? compact(answer[name]) : "(none)");
  }
  return shown.empty() ? text : text + "  " + cut(shown, width);
}

}  // namespace

MatrixReport BuildMatrixReport(const std::vector<ImageRun>& runs) {
  MatrixReport report;
  for (const ImageRun& run : runs) report.images.push_back(run.image);

  // Rows in the order the problems and their stages first appear.
  std::map<std::pair<int, int>, size_t> rowOf;
  for (size_t i = 0; i < runs.size(); ++i) {
    const Json::Value& problems = runs[i].result["problems"];
    if (!problems.isArray()) continue;
    for (const Json::Value& problem : problems) {
      for (const Json::Value& status : problem["status"]) {
        const std::pair<int, int> key{problem["problemid"].asInt(), status["stageid"].asInt()};
        auto [it, added] = rowOf.emplace(key, report.rows.size());
        if (added) {
          MatrixReport::Row row;
          row.problemId = key.first;
          row.name = problem["name"].asString();
          row.stageId = key.second;
          row.statuses.assign(runs.size(), "");
          report.rows.push_back(std::move(row));
        }
        report.rows[it->second].statuses[i] = statusWords(status);
      }
    }
  }
  for (size_t i = 0; i < runs.size(); ++i) {
    const std::string missing = runs[i].completed() ? "not declared" : "no result";
    for (MatrixReport::Row& row : report.rows)
      if (row.statuses[i].empty()) row.statuses[i] = runs[i].result.isObject() ? missing : "no result";
  }
  std::stable_sort(report.rows.begin(), report.rows.end(), [](const auto& a, const auto& b) {
    return std::tie(a.problemId, a.stageId) < std::tie(b.problemId, b.stageId);
  });

  std::map<CallKey, KeyedCall> calls;
  size_t order = 0;
  for (size_t i = 0; i < runs.size(); ++i) {
    report.unreadableLines.push_back(
        runs[i].traceFile.empty() ? 0 : readTrace(runs[i].traceFile, i, runs.size(), calls, order));
  }
  std::vector<std::pair<size_t, MatrixReport::Difference>> found;
  for (auto& [key, keyed] : calls) {
    bool differs = false;
    for (size_t i = 1; i < keyed.outcomes.size() && !differs; ++i)
      differs = !sameOutcome(keyed.outcomes[0], keyed.outcomes[i]);
    if (!differs) continue;
    MatrixReport::Difference d;
    d.component = std::get<0>(key);
    d.method = std::get<1>(key);
    d.arguments = keyed.arguments;
    d.occurrence = std::get<3>(key);
    d.outcomes = std::move(keyed.outcomes);
    found.emplace_back(keyed.firstSeen, std::move(d));
  }
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  for (auto& entry : found) report.differences.push_back(std::move(entry.second));
  return report;
}

void PrintMatrixText(FILE* out, const MatrixReport& report, const std::vector<ImageRun>& runs) {
  constexpr size_t kNameWidth = 46;
  std::vector<size_t> widths;
  for (size_t i = 0; i < report.images.size(); ++i) {
    size_t w = std::max<size_t>(report.images[i].size(), 10);
    for (const MatrixReport::Row& row : report.rows) w = std::max(w, row.statuses[i].size());
    widths.push_back(w + 2);
  }
  std::fprintf(out, "%-*s", static_cast<int>(kNameWidth), "Problem / stage");
  for (size_t i = 0; i < report.images.size(); ++i)
    std::fprintf(out, "%-*s", static_cast<int>(widths[i]), report.images[i].c_str());
  std::fprintf(out, "\n");
  if (report.rows.empty()) std::fprintf(out, "(no problem ran on any image)\n");
  for (const MatrixReport::Row& row : report.rows) {
    const std::string label = cut(std::to_string(row.problemId) + " " + row.name, kNameWidth - 12) +
                              " stage " + std::to_string(row.stageId);
    std::fprintf(out, "%-*s", static_cast<int>(kNameWidth), label.c_str());
    for (size_t i = 0; i < row.statuses.size(); ++i)
      std::fprintf(out, "%-*s", static_cast<int>(widths[i]), row.statuses[i].c_str());
    std::fprintf(out, "\n");
  }

  std::fprintf(out, "\nRuns:\n");
  for (size_t i = 0; i < runs.size(); ++i) {
    const ImageRun& run = runs[i];
    if (run.completed()) {
      std::fprintf(out, "  %-12s completed in %.1f s\n", run.image.c_str(), run.seconds);
    } else {
      std::fprintf(out, "  %-12s did not complete: %s\n", run.image.c_str(), run.failure.c_str());
    }
    if (i < report.unreadableLines.size() && report.unreadableLines[i] > 0)
      std::fprintf(out, "  %-12s %d trace line(s) could not be read\n", "",
                   report.unreadableLines[i]);
  }

  std::fprintf(out, "\nCalls whose outcome differs between images: %zu\n",
               report.differences.size());
  for (const MatrixReport::Difference& d : report.differences) {
    std::string arguments = d.arguments.isArray() ? compact(d.arguments) : "[]";
    arguments = arguments.substr(1, arguments.size() - 2);
    std::fprintf(out, "\n  %s.%s(%s)", d.component.c_str(), d.method.c_str(),
                 cut(arguments, 60).c_str());
    if (d.occurrence > 1) std::fprintf(out, "  call %d of its kind", d.occurrence);
    std::fprintf(out, "\n");
    std::vector<Json::Value> answers;
    for (const MatrixReport::Outcome& o : d.outcomes)
      answers.push_back(o.answered ? parsedAnswer(o.answer) : Json::Value());
    const std::vector<std::string> members = differingMembers(answers);
    for (size_t i = 0; i < d.outcomes.size(); ++i) {
      std::fprintf(out, "    %-12s %s\n", report.images[i].c_str(),
                   runreport::RequirementsInWords(outcomeText(d.outcomes[i], answers[i], members, 100)).c_str());
    }
  }
}

Json::Value MatrixToJson(const MatrixReport& report, const std::vector<ImageRun>& runs) {
  Json::Value doc(Json::objectValue);
  Json::Value& images = doc["images"] = Json::Value(Json::arrayValue);
  for (const ImageRun& run : runs) {
    Json::Value image(Json::objectValue);
    image["name"] = run.image;
    image["completed"] = run.completed();
    image["exitcode"] = run.exitCode;
    image["seconds"] = run.seconds;
    if (!run.completed()) image["failure"] = run.failure;
    images.append(image);
  }
  Json::Value& rows = doc["table"] = Json::Value(Json::arrayValue);
  for (const MatrixReport::Row& r : report.rows) {
    Json::Value row(Json::objectValue);
    row["problemid"] = r.problemId;
    row["name"] = r.name;
    row["stageid"] = r.stageId;
    Json::Value& statuses = row["statuses"] = Json::Value(Json::objectValue);
    for (size_t i = 0; i < r.statuses.size(); ++i) statuses[report.images[i]] = r.statuses[i];
    rows.append(row);
  }
  Json::Value& differences = doc["differences"] = Json::Value(Json::arrayValue);
  for (const MatrixReport::Difference& d : report.differences) {
    Json::Value entry(Json::objectValue);
    entry["component"] = d.component;
    entry["method"] = d.method;
    entry["arguments"] = d.arguments;
    entry["occurrence"] = d.occurrence;
    Json::Value& outcomes = entry["outcomes"] = Json::Value(Json::objectValue);
    for (size_t i = 0; i < d.outcomes.size(); ++i) {
      const MatrixReport::Outcome& o = d.outcomes[i];
      Json::Value value(Json::objectValue);
      value["called"] = o.called;
      if (o.called) {
        value["errorcode"] = o.answered ? Json::Value(static_cast<Json::Int64>(o.errorCode))
                                        : Json::Value();
        value["answer"] = o.answer;
      }
      outcomes[report.images[i]] = value;
    }
    differences.append(entry);
  }
  return doc;
}

}  // namespace zorel::cli
