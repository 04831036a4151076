// The run report page's style sheet: one accent colour, status colours
// that also carry words (never colour alone).

#include "page_assets.h"

namespace zorel::runreport {

const char kPageStyle[] = R"CSS(
:root { --accent: #1f5fa8; --ink: #1d2430; --muted: #5b6675; --line: #dde3ea; --bg: #f6f8fb;
        --pass: #1e7a3c; --fail: #b42318; --open: #a15c00; --none: #6b7280; }
* { box-sizing: border-box; }
body { margin: 0; font: 14px/1.45 system-ui, -apple-system, "Segoe UI", sans-serif; color: var(--ink);
       background: var(--bg); }
.bar { background: var(--accent); color: #fff; padding: 10px 24px; font-weight: 600; letter-spacing: .02em; }
main { max-width: 1200px; margin: 0 auto; padding: 16px 24px 48px; }
h1 { font-size: 22px; margin: 12px 0 4px; }
h2 { font-size: 17px; margin: 28px 0 8px; padding-bottom: 4px; border-bottom: 2px solid var(--accent); }
h3 { font-size: 15px; margin: 0 0 4px; }
section { margin-bottom: 8px; }
.card { background: #fff; border: 1px solid var(--line); border-radius: 8px; padding: 12px 16px; margin: 8px 0; }
.facts { display: grid; grid-template-columns: max-content 1fr; gap: 2px 16px; margin: 0; }
.facts dt { color: var(--muted); }
.facts dd { margin: 0; overflow-wrap: anywhere; }
.summary { color: var(--muted); margin: 4px 0 0; }
.note { background: #fff7e6; border: 1px solid #f0c36d; border-radius: 6px; padding: 8px 12px; margin: 8px 0; }
table { border-collapse: collapse; width: 100%; background: #fff; border: 1px solid var(--line); }
th, td { text-align: left; vertical-align: top; padding: 5px 8px; border-bottom: 1px solid var(--line); }
th { background: #eef2f7; font-weight: 600; position: sticky; top: 0; }
td { overflow-wrap: anywhere; }
tr.group td { background: #e8f0fa; color: var(--accent); font-weight: 600; }
tr.failed td { background: #fdf1f0; }
pre { margin: 0; font: 12px/1.4 ui-monospace, "DejaVu Sans Mono", monospace; white-space: pre-wrap;
      overflow-wrap: anywhere; max-height: 16em; overflow: auto; }
.status { display: inline-block; padding: 1px 8px; border-radius: 10px; font-weight: 600; color: #fff; }
.status.pass { background: var(--pass); } .status.fail { background: var(--fail); }
.status.open { background: var(--open); } .status.none { background: var(--none); }
.stages { list-style: none; padding: 0; margin: 6px 0 0; }
.stages li { margin: 3px 0; }
.details { color: var(--muted); margin-left: 6px; }
.filters { display: flex; gap: 12px; align-items: center; flex-wrap: wrap; margin: 8px 0; }
.filters input[type=search] { flex: 1 1 280px; padding: 6px 8px; border: 1px solid var(--line); border-radius: 6px; }
.filters select { padding: 5px; border: 1px solid var(--line); border-radius: 6px; }
.count { color: var(--muted); }
button.more { margin: 10px 0; padding: 6px 14px; border: 1px solid var(--accent); color: var(--accent);
              background: #fff; border-radius: 6px; cursor: pointer; }
a { color: var(--accent); }
.muted { color: var(--muted); }
)CSS";

}  // namespace zorel::runreport
