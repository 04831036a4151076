#pragma once
// PROBLEM_TABLE, PROBLEM_STAGE_TABLE and PROBLEM_STATUS_TABLE.

#include <cstdint>
#include <string>

#include "zorel/store/store.h"

namespace zorel {

// PROBLEM_STATUS_TABLE.STATUS values the framework itself gives meaning to.
namespace ProblemStatus {
inline constexpr int32_t kDeclared = 0;
inline constexpr int32_t kPassed = 1;
inline constexpr int32_t kStarted = 2;
}  // namespace ProblemStatus

class ProblemStore : public Store {
 public:
  ProblemStore();
  void AddProblem(int32_t id, const std::wstring& name, const std::wstring& description,
                  const std::wstring& url);
};

class ProblemStageStore : public Store {
 public:
  ProblemStageStore();
  void AddStage(int32_t id, const std::wstring& name);
};

// No key: rows are found by the (PROBLEM_ID, STAGE_ID) pair.
class ProblemStatusStore : public Store {
 public:
  ProblemStatusStore();
  // The times stay unset and are written as empty text.
  void AddStatus(int32_t problemId, int32_t stageId, int32_t status);
};

}  // namespace zorel
