#pragma once
// Case scripts note each plug-in answer as a problem: NAME is the case's
// label, DESCRIPTION the answer's JSON text. This reads one back.

#include <gtest/gtest.h>
#include <json/json.h>

#include <sstream>
#include <string>

#include "check_cli_support.h"

namespace zorel::testing {

// The answer noted under `label` in `rows` (the DESCRIPTION rows of that
// NAME), or a null value with a test failure when there is not exactly one
// or it is not JSON. `emptyText`, when given, is a description the script
// writes for "no answer": it reads as null without a failure.
inline Json::Value NotedAnswer(const Rows& rows, const std::string& label,
                               const char* emptyText = nullptr) {
  Json::Value value;
  if (rows.size() != 1) {
    ADD_FAILURE() << "no answer noted as " << label;
    return value;
  }
  if (emptyText && rows[0][0] == emptyText) return value;
  std::istringstream in(rows[0][0]);
  if (!Json::parseFromStream(Json::CharReaderBuilder(), in, &value, nullptr))
    ADD_FAILURE() << label << ": " << rows[0][0];
  return value;
}

// The SELECT that finds the answer noted under `label`.
inline std::string NotedAnswerQuery(const std::string& label) {
  return "select DESCRIPTION from PROBLEM_TABLE where NAME = '" + label + "'";
}

}  // namespace zorel::testing
