#pragma once
// The run model written out: as JSON (for other tools) and as one
// self-contained HTML page (inline style and script, no request to
// anything outside the file) made from that same JSON, so the two cannot
// disagree.
//
// The page never puts a store text into its markup. The JSON sits in an
// inert <script type="application/json"> block in which '<', '>' and '&'
// are written as \u003c, \u003e and \u0026, so no text can end the block;
// the page's own script, which alone carries the page's nonce under its
// Content-Security-Policy, reads it and builds every row with textContent.

#include <string>

#include "zorel/runreport/run_model.h"

namespace zorel::runreport {

// The model as one JSON document (UTF-8; malformed UTF-8 in the store
// becomes U+FFFD, so the text always parses).
std::string RenderJson(const RunModel& model);

// The page. `nonce` is the Content-Security-Policy nonce of its script
// (letters and digits; empty: one is made).
std::string RenderHtml(const RunModel& model, const std::string& nonce = "");

// `text` with &, <, >, " and ' as character references.
std::string EscapeHtml(const std::string& text);

}  // namespace zorel::runreport
