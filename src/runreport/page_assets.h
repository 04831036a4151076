#pragma once
// The style sheet and the script of the run report page. The script reads
// the model from the page's JSON block and builds every element with
// createElement and textContent: no store text is ever parsed as markup.

namespace zorel::runreport {

extern const char kPageStyle[];
extern const char kPageScript[];

}  // namespace zorel::runreport
