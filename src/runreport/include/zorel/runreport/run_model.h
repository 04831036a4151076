#pragma once
// What one run left in its result store, as a person reads it: the run's
// header, the machine facts, the stages and problems with their status per
// stage, every operation record and what was collected. `zorel report`
// writes it as JSON and as an HTML page made from that JSON, and the report
// server builds its session pages from it.
//
// Texts are UTF-8 exactly as the store holds them (nothing is escaped
// here); the renderers escape for their own output.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace zorel::runreport {

// The JSEXECUTION_TABLE row of the run (the first one when there are more).
struct RunHeader {
  bool present = false;           // false: the table holds no row
  std::string script;             // JAVASCRIPT_NAME
  std::string revision;           // JAVASCRIPT_REVISION
  std::string frameworkVersion;   // COREFRAMEWORK_VERSION
  std::string start;              // START_TIME as stored
  std::string end;                // END_TIME as stored; empty while running
  int32_t executionStatus = 0;    // 0 running or ended early, 5 finished and packed
};

struct Stage {
  int32_t id = 0;
  std::string name;  // the script function that runs the stage
};

// One PROBLEM_STATUS_TABLE row.
struct StageStatus {
  int32_t stage = 0;
  int32_t status = 0;  // 0 not run, 1 passed, 2 started but not finished, 3+ failed with that code
  std::string start;
  std::string end;
  std::string details;  // the outcome the script recorded for the stage, in words
};

struct Problem {
  int32_t id = 0;
  std::string name;
  std::string description;
  std::string url;
  std::vector<StageStatus> stages;  // in the store's order
};

// One OPERATION_TABLE row.
struct Operation {
  int32_t id = 0;
  int32_t problem = -1;       // -1: the script's top-level code, before any stage
  int32_t stage = -1;
  int32_t type = 0;           // 0 check, 1 change to the machine, 2 collection
  std::string component;
  std::string api;            // "Component::method"
  std::string input;          // INPUT_DETAILS as stored
  int32_t executionStatus = 0;  // 1 success, 0 failure
  int32_t errorCode = 0;
  std::string errorString;
  std::string start;
  std::string end;
};

// One COLLECTION_TABLE row.
struct CollectionRow {
  int32_t id = 0;
  int32_t operation = 0;
  int32_t type = 0;  // collection type code
  std::string source;
  std::string destination;
  int64_t size = 0;
  bool isDb = false;
  bool important = false;
};

struct CabinetEntry {
  std::string name;  // as stored in the cabinet ('\' separators)
  uint64_t size = 0;
};

struct RunModel {
  std::string source;          // what was read, as the caller named it
  int32_t sessionId = -1;      // the report server's session; -1 when none is known
  std::string integrity;       // "ok", or the database's first complaint
  RunHeader header;
  std::vector<std::pair<std::string, std::string>> environment;  // ENVIRONMENT_COLLECTION_TABLE
  std::vector<Stage> stages;
  std::vector<Problem> problems;
  std::vector<Operation> operations;  // in ID order
  std::vector<CollectionRow> collection;
  bool hasCollectionCab = false;       // collection.cab lies beside the store
  std::vector<CabinetEntry> collectionCab;
  std::string collectionCabError;      // why the listing is missing or partial
  std::vector<std::string> missingTables;  // core tables the file lacks
};

// Words for the codes the store keeps.
std::string StatusInWords(int32_t status);           // a PROBLEM_STATUS_TABLE status
std::string OperationTypeInWords(int32_t type);      // OPERATION_TYPE
std::string CollectionTypeInWords(int32_t type);     // COLLECTION_TYPE
std::string RunStateInWords(const RunHeader& header);
std::string StageRoleInWords(int32_t stage);         // the fixed role of stages 100, 101, 102

// Problems with any stage not passed (status 2 or more).
size_t ProblemsNotPassed(const RunModel& model);
// Operations whose EXECUTION_STATUS is not 1.
size_t FailedOperations(const RunModel& model);

}  // namespace zorel::runreport
