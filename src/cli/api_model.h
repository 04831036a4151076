#pragma once
// The plug-in API as the program knows it, for `zorel api`: one JSON model
// made from the plug-in table's declared surfaces (components, properties,
// methods with their arguments, answers, operation records and error codes),
// the answer classes and the reporting records. The reference (--markdown)
// and the TypeScript declarations (--dts) are both written from the model,
// so the three cannot disagree.

#include <string>

#include <json/value.h>

namespace zorel::cli {

// Types in the model: "text", "number", "boolean", "object", "number[]" or
// "<Record>[]" (an array of one of the model's records).
Json::Value BuildApiModel();

// The script authors' reference, kept as docs/script-api.md.
std::string ApiMarkdown(const Json::Value& model);

// TypeScript declarations for check scripts, kept as
// examples/checks/zorel.d.ts.
std::string ApiDeclarations(const Json::Value& model);

}  // namespace zorel::cli
