#pragma once
// What `zorel matrix` prints once every image has run: the status table
// (one row per problem and stage, one column per image) and the plug-in
// calls whose outcome differs between images, as text or as one JSON
// document.

#include <cstdio>
#include <string>
#include <vector>

#include <json/value.h>

namespace zorel::cli {

// One image's run as the matrix saw it.
struct ImageRun {
  std::string image;
  bool started = false;     // its machine was made and the check ran
  int exitCode = -1;        // zorel check's exit code
  double seconds = 0;
  std::string failure;      // why it did not complete, in words
  Json::Value result;       // zorel check --json's document (null without)
  std::string traceFile;    // host path of its call trace
  bool completed() const { return started && exitCode == 0; }
};

struct MatrixReport {
  // Rows of the table: problem, stage, and per image its status in words.
  struct Row {
    int problemId = 0;
    std::string name;
    int stageId = 0;
    std::vector<std::string> statuses;  // one per image, in run order
  };
  // A call (component, method, arguments, n-th of its kind in the run)
  // whose error code or answer is not the same on every image.
  struct Outcome {
    bool called = false;
    bool answered = false;
    int64_t errorCode = 0;
    std::string answer;
  };
  struct Difference {
    std::string component, method;
    Json::Value arguments;  // the trace's array
    int occurrence = 1;
    std::vector<Outcome> outcomes;  // one per image
  };
  std::vector<std::string> images;
  std::vector<Row> rows;
  std::vector<Difference> differences;
  // Trace lines that could not be read, per image (a trace cut short).
  std::vector<int> unreadableLines;
};

// Builds the report from the runs (their results and traces).
MatrixReport BuildMatrixReport(const std::vector<ImageRun>& runs);

void PrintMatrixText(FILE* out, const MatrixReport& report, const std::vector<ImageRun>& runs);
Json::Value MatrixToJson(const MatrixReport& report, const std::vector<ImageRun>& runs);

}  // namespace zorel::cli
