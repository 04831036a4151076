// landing.js: the window's page. It builds its own views, talks to the
// program through one call, and shows a check run from Start to results.
//
// The program answers `await window.webkit.messageHandlers.ProcessJSON
// .postMessage(text)` with the response text of the request line `text`
// (operation 0 start, 1 progress, 2 result, 3 cancel). The handler is looked
// up at each call, never kept, so a test page may put its own in place.
//
// Views: "start", "running", "results", "error"; document.body.dataset.view
// names the one shown. Data from the program reaches the page only as
// textContent. The page never changes its address (no hash, no pushState):
// the window's close only works on a page without history entries.

(function () {
  "use strict";

  // Progress is read this long after the start answer and after each
  // progress answer, until it reaches 100 or reports a failure.
  const POLL_MS = 500;

  // Shown for a failure that carries no error code of the program's: no
  // bridge, a refused call, an answer that is not a JSON object.
  const NO_ANSWER_CODE = -1;

  const STAGE_IDS = [100, 101, 102];
  const STAGES = {
    100: {running: "Checking minimum system health", summary: "Minimum system health",
          about: "Memory, processor speed and free disk space."},
    101: {running: "Looking for problems", summary: "Looking for problems",
          about: "Anything on this computer that could stop the installation."},
    102: {running: "Fixing problems", summary: "Fixing problems",
          about: "Repairs what can safely be repaired."},
  };

  // Tokens of a stage-100 outcome's "expected": the requirement it names.
  const REQUIREMENTS = [
    ["$GEN1002$", "Memory"],
    ["$GEN1003$", "Processor speed"],
    ["$GEN1004$", "Free disk space"],
  ];

  const mode = new URLSearchParams(window.location.search).get("mode") === "1" ? "1" : "0";

  // ---- building the views --------------------------------------------

  // el("p", {id: "x", class: "y"}, child...) with children as nodes or
  // strings (text nodes).
  function el(tag, attributes, ...children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes || {})) node.setAttribute(name, value);
    for (const child of children) {
      node.append(typeof child === "string" ? document.createTextNode(child) : child);
    }
    return node;
  }

  function button(id, text, kind) {
    return el("button", {id: id, type: "button", class: "button " + kind}, text);
  }

  function buildPage() {
    const badge = el("span", {id: "mode-badge", class: "badge"},
                     mode === "1" ? "Online" : "Offline: results stay on this computer");
    badge.classList.add(mode === "1" ? "badge-online" : "badge-offline");
    const header = el("header", {class: "top"},
                      el("img", {class: "logo", src: "zorel.svg", alt: ""}),
                      el("div", {class: "brand"},
                         el("span", {class: "brand-name"}, "Readiscan"),
                         el("span", {class: "brand-line"}, "Check before you install")),
                      badge);

    const stageList = el("ol", {class: "stage-list"});
    for (const id of STAGE_IDS) {
      stageList.append(el("li", {},
                          el("span", {class: "stage-title"}, STAGES[id].running),
                          el("span", {class: "stage-about"}, STAGES[id].about)));
    }
    const start = el("section", {id: "view-start", class: "view", "aria-labelledby": "start-title"},
                     el("h1", {id: "start-title"}, "Is this computer ready for the installation?"),
                     el("p", {class: "lead"},
                        "Readiscan checks this computer in three steps, fixes what it can and shows you " +
                        "what it found. You can cancel the check at any time."),
                     stageList,
                     el("div", {class: "actions"},
                        el("p", {id: "start-notice", class: "notice", role: "status"}),
                        button("start-button", "Start the check", "primary")));

    const steps = el("ol", {id: "stage-steps", class: "steps"});
    for (const id of STAGE_IDS) steps.append(el("li", {"data-stage": String(id)}, STAGES[id].summary));
    const running = el("section", {id: "view-running", class: "view", "aria-labelledby": "stage-text"},
                       steps,
                       el("h1", {id: "stage-text"}, ""),
                       el("div", {class: "meter"},
                          el("progress", {id: "progress-bar", max: "100", value: "0",
                                          "aria-labelledby": "stage-text"}),
                          el("span", {id: "progress-text"}, "0 %")),
                       el("p", {id: "message-text", class: "message", role: "status", "aria-live": "polite"}),
                       el("div", {class: "actions"}, button("cancel-button", "Cancel", "secondary")));

    const results = el("section", {id: "view-results", class: "view", "aria-labelledby": "results-title"},
                       el("h1", {id: "results-title"}, "Results"),
                       el("ul", {id: "stage-summary", class: "summary"}),
                       el("ul", {id: "problem-list", class: "problems", tabindex: "0",
                                 "aria-label": "Problems checked"}),
                       el("div", {class: "actions"},
                          el("p", {id: "session-line", class: "session"}),
                          button("run-again-button", "Run again", "secondary"),
                          button("close-button", "Close", "primary")));

    const error = el("section", {id: "view-error", class: "view", "aria-labelledby": "error-title"},
                     el("h1", {id: "error-title"}, "Something went wrong"),
                     el("p", {id: "error-text", class: "lead", role: "alert"}),
                     el("p", {class: "hint"},
                        "You can run the check again. If it fails again, the details are in " +
                        "FrameWork.log in this computer's temporary folder."),
                     el("div", {class: "actions"}, button("try-again-button", "Try again", "primary")));

    document.body.prepend(header, el("main", {}, start, running, results, error));
    document.body.dataset.mode = mode;
  }

  const byId = (id) => document.getElementById(id);

  // The button that takes the keyboard focus when a view is shown.
  const FOCUS = {start: "start-button", running: "cancel-button", results: "close-button",
                 error: "try-again-button"};

  function show(view) {
    for (const name of Object.keys(FOCUS)) byId("view-" + name).hidden = name !== view;
    document.body.dataset.view = view;
    byId(FOCUS[view]).focus({preventScroll: true});
  }

  // ---- talking to the program ------------------------------------------

  class NoAnswer extends Error {}

  // Sends one request object; resolves to the response object, or rejects
  // with NoAnswer when there is no bridge or no readable answer.
  async function ask(request) {
    const hooks = window.webkit && window.webkit.messageHandlers;
    const handler = hooks && hooks.ProcessJSON;
    if (!handler || typeof handler.postMessage !== "function") throw new NoAnswer("no bridge");
    let text;
    try {
      text = await handler.postMessage(JSON.stringify(request));
    } catch (e) {
      throw new NoAnswer(String(e));
    }
    let answer = null;
    try {
      answer = JSON.parse(text);
    } catch (e) {
      // handled below
    }
    if (!answer || typeof answer !== "object" || Array.isArray(answer)) throw new NoAnswer("unreadable answer");
    return answer;
  }

  function failureCode(answer) {
    return Number.isInteger(answer.errorcode) ? answer.errorcode : NO_ANSWER_CODE;
  }

  // ---- the run ---------------------------------------------------------

  // Each start and each cancel begins a new generation; an answer or timer
  // of an older one is dropped, so a late progress answer cannot bring back
  // a run the user cancelled.
  let generation = 0;
  let pollTimer = null;

  function stopPolling() {
    if (pollTimer !== null) clearTimeout(pollTimer);
    pollTimer = null;
  }

  function fail(code) {
    stopPolling();
    generation++;
    byId("error-text").textContent = "The check could not be completed (code " + code + ").";
    show("error");
  }

  // Sends a request of the run `mine`. Resolves to the answer; or to null
  // when the run is no longer current (the answer is dropped) or the answer
  // is a failure (the error view is shown).
  async function askInRun(mine, request) {
    let answer;
    try {
      answer = await ask(request);
    } catch (e) {
      if (mine === generation) fail(NO_ANSWER_CODE);
      return null;
    }
    if (mine !== generation) return null;
    if (answer.status !== true) {
      fail(failureCode(answer));
      return null;
    }
    return answer;
  }

  function startRequest() {
    return {operationid: 0, operationinfo: STAGE_IDS.map((id) => ({stageid: id, problemid: []}))};
  }

  async function startCheck() {
    if (document.body.dataset.view === "running") return;
    stopPolling();
    const mine = ++generation;
    showProgress({stageId: -1, percentage: 0, message: "$GEN1000$"});
    byId("stage-text").textContent = "Getting ready";
    byId("cancel-button").disabled = false;
    byId("start-notice").textContent = "";
    show("running");
    const answer = await askInRun(mine, startRequest());
    if (!answer) return;
    pollTimer = setTimeout(() => poll(mine), POLL_MS);
  }

  async function poll(mine) {
    pollTimer = null;
    if (mine !== generation) return;
    const answer = await askInRun(mine, {operationid: 1});
    if (!answer) return;
    const progress = answer.progress && typeof answer.progress === "object" ? answer.progress : {};
    showProgress(progress);
    if (percentOf(progress) >= 100) return fetchResult(mine);
    pollTimer = setTimeout(() => poll(mine), POLL_MS);
  }

  async function fetchResult(mine) {
    const answer = await askInRun(mine, {operationid: 2});
    if (!answer) return;
    showResults(answer);
  }

  async function cancelCheck() {
    const cancelButton = byId("cancel-button");
    if (cancelButton.disabled) return;
    stopPolling();
    const mine = ++generation;
    cancelButton.disabled = true;
    byId("message-text").textContent = "Cancelling…";
    const answer = await askInRun(mine, {operationid: 3});
    if (!answer) return;
    byId("start-notice").textContent = "The check was cancelled.";
    byId("start-button").textContent = "Start again";
    show("start");
  }

  // ---- progress ---------------------------------------------------------

  function percentOf(progress) {
    const n = Number(progress.percentage);
    return Number.isFinite(n) ? Math.min(100, Math.max(0, Math.round(n))) : 0;
  }

  function messageText(message) {
    if (message === "$GEN1000$") return "Starting the check…";
    if (message === "$GEN1001$") return mode === "1" ? "Packing and sending the results…" : "Packing the results…";
    return typeof message === "string" ? message : "";
  }

  // Before the first stage the program reports stage -1 (fresh) or 0 (run
  // started): the stage text stays as it is.
  function showProgress(progress) {
    const stage = Number(progress.stageId);
    if (STAGES[stage]) byId("stage-text").textContent = STAGES[stage].running;
    else if (Number.isInteger(stage) && stage > 0) byId("stage-text").textContent = "Stage " + stage;
    for (const step of byId("stage-steps").children) {
      const id = Number(step.dataset.stage);
      step.classList.toggle("done", STAGES[stage] !== undefined && id < stage);
      if (id === stage) step.setAttribute("aria-current", "step");
      else step.removeAttribute("aria-current");
    }
    const percent = percentOf(progress);
    byId("progress-bar").value = percent;
    byId("progress-bar").setAttribute("aria-valuenow", String(percent));
    byId("progress-text").textContent = percent + " %";
    byId("message-text").textContent = messageText(progress.message);
  }

  // ---- results ----------------------------------------------------------

  function stageName(id) {
    return STAGES[id] ? STAGES[id].summary : "Stage " + id;
  }

  function statusWord(status) {
    switch (status) {
      case 0: return "not run";
      case 1: return "passed";
      case 2: return "needs attention";
      default: return "status " + status;
    }
  }

  // A requirement check's outcome {"expected": "<token> 500 MB", "actual":
  // "78053 MB"} as {label, needed, found}; null for anything else (an
  // unknown token, other keys, text that is not JSON), which is shown as
  // it came.
  function requirementOf(outcome) {
    let value;
    try {
      value = JSON.parse(outcome);
    } catch (e) {
      return null;
    }
    if (!value || typeof value !== "object" || Array.isArray(value)) return null;
    if (typeof value.expected !== "string" || typeof value.actual !== "string") return null;
    for (const [token, label] of REQUIREMENTS) {
      if (!value.expected.includes(token)) continue;
      const needed = value.expected.split(token).join(" ").replace(/\s+/g, " ").trim();
      return {label: label, needed: needed, found: value.actual.trim()};
    }
    return null;
  }

  function outcomeNode(stageId, outcome) {
    const requirement = stageId === 100 ? requirementOf(outcome) : null;
    if (!requirement) return el("div", {class: "outcome"}, outcome);
    // A check that could not run gives "<token> " and "": the label alone.
    const parts = [];
    if (requirement.needed) parts.push("needed ", el("span", {class: "outcome-needed"}, requirement.needed));
    if (requirement.found) {
      parts.push(parts.length ? ", found " : "found ", el("span", {class: "outcome-found"}, requirement.found));
    }
    return el("div", {class: "outcome"}, el("span", {class: "outcome-label"}, requirement.label),
              ...(parts.length ? [": ", ...parts] : []));
  }

  const listOf = (value) => (Array.isArray(value) ? value.filter((v) => v && typeof v === "object") : []);
  const textOf = (value) => (typeof value === "string" ? value : value === undefined || value === null ? "" : String(value));

  // A link only for http and https addresses; anything else is plain text,
  // since a javascript: or file: address would run or open inside the page.
  function linkNode(url) {
    let parsed = null;
    try {
      parsed = new URL(url);
    } catch (e) {
      // not an absolute address
    }
    if (parsed && (parsed.protocol === "http:" || parsed.protocol === "https:")) {
      return el("a", {class: "problem-link", href: parsed.href, target: "_blank", rel: "noopener noreferrer"}, url);
    }
    return el("span", {class: "problem-link"}, url);
  }

  function problemNode(problem) {
    const item = el("li", {class: "problem", "data-id": textOf(problem.problemid)},
                    el("div", {class: "problem-name"}, textOf(problem.name)));
    const description = textOf(problem.description);
    if (description) item.append(el("div", {class: "problem-description"}, description));
    const url = textOf(problem.url);
    if (url) item.append(linkNode(url));
    const stages = el("ul", {class: "problem-stages"});
    for (const status of listOf(problem.status)) {
      const row = el("li", {class: "problem-stage", "data-stage": textOf(status.stageid),
                            "data-status": textOf(status.status)},
                     el("span", {class: "stage-name"}, stageName(status.stageid)),
                     ": ",
                     el("span", {class: "stage-word"}, statusWord(status.status)));
      const outcome = textOf(status.outcome);
      if (outcome) row.append(outcomeNode(status.stageid, outcome));
      stages.append(row);
    }
    if (stages.children.length) item.append(stages);
    return item;
  }

  // A stage passed when the program says so, was not run when no problem
  // has a status other than "not run" in it, and needs attention otherwise.
  function stageSummary(stages, problems) {
    const ids = STAGE_IDS.slice();
    for (const s of stages) if (Number.isInteger(s.stageid) && !ids.includes(s.stageid)) ids.push(s.stageid);
    return ids.map((id) => {
      const stage = stages.find((s) => s.stageid === id);
      const ran = problems.some((p) => listOf(p.status).some((s) => s.stageid === id && s.status !== 0));
      const word = !stage || !ran ? "not run" : stage.status === 1 ? "passed" : "needs attention";
      return {id: id, word: word};
    });
  }

  function showResults(answer) {
    const result = answer.result && typeof answer.result === "object" ? answer.result : {};
    const stages = listOf(result.stages);
    const problems = listOf(result.problems);

    const summary = byId("stage-summary");
    summary.replaceChildren();
    for (const {id, word} of stageSummary(stages, problems)) {
      summary.append(el("li", {"data-stage": String(id), "data-word": word},
                        el("span", {class: "stage-name"}, stageName(id)),
                        el("span", {class: "stage-word"}, word)));
    }

    const list = byId("problem-list");
    list.replaceChildren(...problems.map(problemNode));
    if (!problems.length) list.append(el("li", {class: "empty"}, "No problems were checked."));
    list.scrollTop = 0;

    const session = answer.session && typeof answer.session === "object" ? Number(answer.session.sessionid) : -1;
    byId("session-line").textContent =
        Number.isInteger(session) && session > 0 ? "Results sent (session " + session + ")" : "Results kept on this computer";
    show("results");
  }

  // ---- start-up ---------------------------------------------------------

  function init() {
    buildPage();
    byId("start-button").addEventListener("click", startCheck);
    byId("run-again-button").addEventListener("click", startCheck);
    byId("try-again-button").addEventListener("click", startCheck);
    byId("cancel-button").addEventListener("click", cancelCheck);
    byId("close-button").addEventListener("click", () => window.close());
    show("start");
  }

  if (document.body) init();
  else document.addEventListener("DOMContentLoaded", init);
})();
