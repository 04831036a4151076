// The page's logic driven like a user, against a stand-in bridge that
// answers fixed texts and a stand-in clock, both in place before
// landing.js runs. Each case is one family of behaviour; the first failing
// one names itself in the title ("FAIL: <case>: <what>"), else "PASS".

"use strict";

// ---- stand-in clock: setTimeout / clearTimeout run only when advanced ----

const realSetTimeout = window.setTimeout.bind(window);
const clock = {now: 0, nextId: 1, timers: new Map()};
window.setTimeout = (fn, ms) => {
  const id = clock.nextId++;
  clock.timers.set(id, {at: clock.now + Math.max(0, Number(ms) || 0), fn: fn});
  return id;
};
window.clearTimeout = (id) => clock.timers.delete(id);

// Lets pending promise callbacks and answers run.
async function settle() {
  for (let i = 0; i < 3; i++) await new Promise((resolve) => realSetTimeout(resolve, 0));
}

async function advance(ms) {
  const until = clock.now + ms;
  for (;;) {
    let next = null;
    for (const [id, t] of clock.timers) if (t.at <= until && (!next || t.at < next[1].at)) next = [id, t];
    if (!next) break;
    clock.timers.delete(next[0]);
    clock.now = next[1].at;
    next[1].fn();
    await settle();
  }
  clock.now = until;
}

// ---- stand-in bridge -------------------------------------------------------

// answer(request) gives the response text, a promise of it, or throws.
const bridge = {sent: [], answer: () => ""};
window.webkit = {messageHandlers: {ProcessJSON: {postMessage(text) {
  const request = JSON.parse(text);
  bridge.sent.push({text: text, op: request.operationid, at: clock.now});
  try {
    return Promise.resolve(bridge.answer(request));
  } catch (e) {
    return Promise.reject(e);
  }
}}}};

let closed = 0;
window.close = () => { closed++; };

// Response texts laid out as the program writes them.
function response(status, errorcode, extra) {
  const r = Object.assign({errorcode: errorcode, progress: {message: "", percentage: 0, stageId: -1},
                           result: null, session: {sessionid: -1}, status: status}, extra || {});
  return JSON.stringify(r, null, 3) + "\n";
}
const ok = (extra) => response(true, 0, extra);
const progress = (stageId, percentage, message) => ok({progress: {message: message, percentage: percentage, stageId: stageId}});
const problem = (id, name, statuses, more) =>
  Object.assign({problemid: id, name: name, description: "", url: "",
                 status: statuses.map(([stageid, status, outcome]) => ({stageid: stageid, status: status, outcome: outcome || ""}))},
                more || {});
const result = (problems, sessionid, stages) =>
  ok({result: {problems: problems, stages: stages || [{outcome: "", stageid: 100, status: 1}]},
      session: {sessionid: sessionid}});

// Answers a whole run: the start, the progress records in turn (the last
// repeats), the result, the cancel.
function script(progressTexts, resultText) {
  let polls = 0;
  return (request) => {
    switch (request.operationid) {
      case 0: return ok();
      case 1: return progressTexts[Math.min(polls++, progressTexts.length - 1)];
      case 2: return resultText;
      case 3: return ok();
      default: return response(false, 1000);
    }
  };
}

// ---- reading and clicking the page --------------------------------------

const $ = (selector) => document.querySelector(selector);
const text = (selector) => ($(selector) ? $(selector).textContent : "<missing " + selector + ">");
const view = () => document.body.dataset.view;
const sentOps = () => bridge.sent.map((s) => s.op);

async function click(id) {
  const b = document.getElementById(id);
  check(b && !b.closest("[hidden]"), "#" + id + " is not shown (view " + view() + ")");
  b.click();
  await settle();
}

// Starts a run from whichever view is shown.
async function begin(answer) {
  bridge.answer = answer;
  bridge.sent = [];
  const starter = {start: "start-button", results: "run-again-button", error: "try-again-button"}[view()];
  check(starter, "no way to start from view " + view());
  await click(starter);
}

// Polls until the view leaves "running" (at most 20 polls).
async function runToEnd() {
  for (let i = 0; i < 20 && view() === "running"; i++) await advance(500);
}

class Failure extends Error {}
function check(condition, what) {
  if (!condition) throw new Failure(what);
}
function same(actual, expected, what) {
  check(actual === expected, what + ": got " + JSON.stringify(actual) + ", want " + JSON.stringify(expected));
}

function onlyViewShown(name) {
  for (const v of ["start", "running", "results", "error"]) {
    same(document.getElementById("view-" + v).hidden, v !== name, "#view-" + v + " hidden");
  }
}

const mode = new URLSearchParams(location.search).get("mode");
const online = mode === "1";

// ---- the cases -------------------------------------------------------------

const cases = [];
const test = (name, fn) => cases.push({name: name, fn: fn});

test("start view and mode", async () => {
  same(view(), "start", "first view");
  onlyViewShown("start");
  same(document.body.dataset.mode, online ? "1" : "0", "mode");
  same(text("#mode-badge"), online ? "Online" : "Offline: results stay on this computer", "badge");
  same(document.activeElement && document.activeElement.id, "start-button", "focus");
  await advance(5000);
  same(bridge.sent.length, 0, "requests before Start");
});

test("start sends the three stages, then polls every 500 ms", async () => {
  await begin(script([progress(100, 10, ""), progress(100, 20, ""), progress(101, 100, "")], result([], -1)));
  same(view(), "running", "view after Start");
  onlyViewShown("running");
  same(document.activeElement && document.activeElement.id, "cancel-button", "focus");
  same(bridge.sent.length, 1, "requests at Start");
  same(bridge.sent[0].text, '{"operationid":0,"operationinfo":[{"stageid":100,"problemid":[]},' +
       '{"stageid":101,"problemid":[]},{"stageid":102,"problemid":[]}]}', "start request");
  const startedAt = clock.now;
  await advance(499);
  same(bridge.sent.length, 1, "requests 499 ms after the start answer");
  await advance(1);
  same(JSON.stringify(sentOps()), "[0,1]", "first poll at 500 ms");
  await advance(500);
  same(JSON.stringify(sentOps()), "[0,1,1]", "second poll");
  same(bridge.sent[2].at - startedAt, 1000, "second poll time");
  await advance(500);
  // 100 % asks for the result at once, then nothing more.
  same(JSON.stringify(sentOps()), "[0,1,1,1,2]", "requests up to the result");
  same(view(), "results", "view after 100 %");
  await advance(5000);
  same(bridge.sent.length, 5, "requests after the result");
});

test("progress texts", async () => {
  const rows = [
    // [stageId, percentage, message, stage text, percent text, message text]
    [0, 0, "$GEN1000$", "Getting ready", "0 %", "Starting the check…"],     // run started, no stage yet
    [100, 5, "$GEN1000$", "Checking minimum system health", "5 %", "Starting the check…"],
    [101, 37, "Reading the application log", "Looking for problems", "37 %", "Reading the application log"],
    [7, 40, "$GEN1004$", "Stage 7", "40 %", "$GEN1004$"],                  // unknown stage, other token
    [102, 99, "$GEN1001$", "Fixing problems", "99 %",
     online ? "Packing and sending the results…" : "Packing the results…"],
    [-1, 150, "", "Fixing problems", "100 %", ""],                          // no stage keeps the last
  ];
  await begin(script(rows.map(([s, p, m]) => progress(s, p, m)), result([], -1)));
  for (const [s, p, m, stageText, percentText, messageText] of rows) {
    await advance(500);
    const row = JSON.stringify([s, p, m]) + " ";
    same(text("#stage-text"), stageText, row + "stage");
    same(text("#progress-text"), percentText, row + "percentage");
    same(Number($("#progress-bar").value), parseInt(percentText, 10), row + "bar");
    same(text("#message-text"), messageText, row + "message");
  }
  same(view(), "results", "view after 150 %");
});

test("failures show the error view with the code", async () => {
  const rows = [
    // [name, answer of the start, answer of a progress poll, code]
    ["start refused", () => response(false, 1000), null, "1000"],
    ["failed run", () => ok(), () => response(false, 1000), "1000"],
    ["rejected call", () => { throw new Error("refused"); }, null, "-1"],
    ["non-JSON answer", () => "Parsing Unsuccessfull", null, "-1"],
    ["failed result", () => ok(), () => progress(102, 100, ""), "1000", () => response(false, 1000)],
  ];
  for (const [name, start, poll, code, resultAnswer] of rows) {
    await begin((r) => r.operationid === 0 ? start() : r.operationid === 1 ? poll() : resultAnswer());
    await runToEnd();
    same(view(), "error", name + ": view");
    onlyViewShown("error");
    same(text("#error-text"), "The check could not be completed (code " + code + ").", name + ": text");
    same(document.activeElement && document.activeElement.id, "try-again-button", name + ": focus");
    const count = bridge.sent.length;
    await advance(5000);
    same(bridge.sent.length, count, name + ": requests after the error");
  }
  // Try again starts a new run.
  await begin(script([progress(102, 100, "")], result([], -1)));
  same(bridge.sent[0].op, 0, "Try again sends a start");
  await runToEnd();
  same(view(), "results", "view after Try again");
});

test("status words and stage lines", async () => {
  await begin(script([progress(102, 100, "")], result([
    problem(1, "One", [[100, 1]]),
    problem(2, "Two", [[101, 0], [102, 2]]),
    problem(3, "Three", [[101, 3], [102, -5]]),
  ], -1, [{outcome: "", stageid: 100, status: 1}, {outcome: "", stageid: 101, status: 2},
          {outcome: "", stageid: 102, status: 1}])));
  await runToEnd();
  same(view(), "results", "view");
  onlyViewShown("results");
  same(document.activeElement && document.activeElement.id, "close-button", "focus");
  const words = [...document.querySelectorAll("#problem-list li.problem")].map((li) =>
    li.dataset.id + "=" + [...li.querySelectorAll(".problem-stage")].map((s) => s.textContent).join("|"));
  same(words.join(" "), "1=Minimum system health: passed " +
       "2=Looking for problems: not run|Fixing problems: needs attention " +
       "3=Looking for problems: status 3|Fixing problems: status -5", "problem stage words");
  // 101 ran and is not passed; 102 says passed; a stage nothing ran in is "not run".
  const lines = [...document.querySelectorAll("#stage-summary li")].map((li) =>
    li.querySelector(".stage-name").textContent + ": " + li.querySelector(".stage-word").textContent);
  same(lines.join("|"), "Minimum system health: passed|Looking for problems: needs attention|Fixing problems: passed",
       "stage lines");
  await begin(script([progress(102, 100, "")], ok()));   // "result": null
  await runToEnd();
  same([...document.querySelectorAll("#stage-summary li")].map((li) => li.dataset.word).join("|"),
       "not run|not run|not run", "stage lines of an empty result");
  same(document.querySelectorAll("#problem-list li.problem").length, 0, "problems of an empty result");
});

test("stage-100 outcomes", async () => {
  const rows = [
    // [stage, outcome, shown]
    [100, '{"expected":"$GEN1004$ 500 MB","actual":"78053 MB"}', "Free disk space: needed 500 MB, found 78053 MB"],
    [100, '{"actual":"2400 MHz","expected":"$GEN1003$ 1000 MHz"}', "Processor speed: needed 1000 MHz, found 2400 MHz"],
    [100, '{"actual":"8.0 GB","expected":"2.0 GB $GEN1002$"}', "Memory: needed 2.0 GB, found 8.0 GB"],
    [100, '{"actual":"","expected":"$GEN1004$ 500 MB"}', "Free disk space: needed 500 MB"],
    [100, '{"actual":"","expected":" $GEN1002$"}', "Memory"],                                      // not measured
    [100, '{"actual":"1","expected":"$GEN1099$ 5"}', '{"actual":"1","expected":"$GEN1099$ 5"}'],  // unknown token
    [100, '{"actual":3,"expected":"$GEN1004$ 500 MB"}', '{"actual":3,"expected":"$GEN1004$ 500 MB"}'],
    [100, "$GEN1004$ 500 MB {", "$GEN1004$ 500 MB {"],                                           // not JSON
    [101, '{"actual":"8.0 GB","expected":"2.0 GB $GEN1002$"}', '{"actual":"8.0 GB","expected":"2.0 GB $GEN1002$"}'],
  ];
  await begin(script([progress(102, 100, "")],
                     result(rows.map(([stage, outcome], i) => problem(i + 1, "P" + i, [[stage, 1, outcome]])), -1)));
  await runToEnd();
  rows.forEach(([stage, outcome, shown], i) => {
    same(text('li.problem[data-id="' + (i + 1) + '"] .outcome'), shown, "outcome " + outcome + " in stage " + stage);
  });
});

test("problems in order, as text", async () => {
  window.__ran = 0;
  const evil = '<img src=x onerror="window.__ran=1">';
  await begin(script([progress(102, 100, "")], result([
    problem(9, evil, [[101, 1]], {description: "<b>bold</b> & more", url: "javascript:window.__ran=2"}),
    problem(2, "Second", [], {url: "https://support.readiscan.example/p?a=1&b=2"}),
    problem(5, "Third", [], {url: "file:///etc/passwd"}),
  ], 7)));
  await runToEnd();
  await new Promise((resolve) => realSetTimeout(resolve, 50));  // an injected image would have failed by now
  const items = [...document.querySelectorAll("#problem-list li.problem")];
  same(items.map((li) => li.dataset.id).join(","), "9,2,5", "ids in order");
  same(items[0].querySelector(".problem-name").textContent, evil, "name shown as text");
  same(items[0].querySelector(".problem-description").textContent, "<b>bold</b> & more", "description as text");
  same(document.querySelectorAll("#problem-list img, #problem-list b").length, 0, "elements made from data");
  same(window.__ran, 0, "script from data ran");
  same(items[0].querySelector(".problem-link").tagName, "SPAN", "javascript: address is no link");
  same(items[2].querySelector(".problem-link").tagName, "SPAN", "file: address is no link");
  const link = items[1].querySelector(".problem-link");
  same(link.tagName + " " + link.getAttribute("href"), "A https://support.readiscan.example/p?a=1&b=2", "https link");
  same(text("#session-line"), "Results sent (session 7)", "session line");
  for (const [sessionid, line] of [[0, "Results kept on this computer"], [-1, "Results kept on this computer"]]) {
    await begin(script([progress(102, 100, "")], result([], sessionid)));
    await runToEnd();
    same(text("#session-line"), line, "session line of " + sessionid);
  }
});

test("cancel stops the run, even with a poll under way", async () => {
  let pending = null;
  const base = script([progress(100, 10, "")], result([], -1));
  await begin((r) => {
    if (r.operationid === 1 && bridge.sent.filter((s) => s.op === 1).length === 2) {
      return new Promise((resolve) => { pending = resolve; });  // the second poll's answer waits
    }
    return base(r);
  });
  await advance(1000);
  check(pending, "the second poll was not sent");
  await click("cancel-button");
  same(bridge.sent[bridge.sent.length - 1].op, 3, "request of Cancel");
  pending(progress(101, 100, ""));  // arrives after the cancel
  await settle();
  await advance(5000);
  same(JSON.stringify(sentOps()), "[0,1,1,3]", "requests");
  same(view(), "start", "view after Cancel");
  onlyViewShown("start");
  same(text("#start-notice"), "The check was cancelled.", "notice");
  same(text("#start-button"), "Start again", "start button");
  same(document.activeElement && document.activeElement.id, "start-button", "focus");
  await begin(script([progress(102, 100, "")], result([], -1)));
  same(text("#start-notice"), "", "notice after Start again");
  await runToEnd();
  same(view(), "results", "run after a cancel");
});

test("close and history", async () => {
  same(view(), "results", "view");
  await click("close-button");
  same(closed, 1, "window.close calls");
  same(history.length, historyAtLoad, "history entries");
  same(location.href, addressAtLoad, "address");
  same(addressEvents, 0, "hashchange/popstate events");
});

// ---- running them ----------------------------------------------------------

const historyAtLoad = history.length;
const addressAtLoad = location.href;
let addressEvents = 0;
window.addEventListener("hashchange", () => addressEvents++);
window.addEventListener("popstate", () => addressEvents++);

async function runPageLogic() {
  let failure = null;
  for (const c of cases) {
    try {
      await c.fn();
    } catch (e) {
      failure = c.name + (online ? " (online)" : " (offline)") + ": " + (e instanceof Failure ? e.message : String(e));
      break;
    }
  }
  if (failure) {
    document.title = "FAIL: " + failure;
  } else if (mode === null) {
    location.replace(location.pathname + "?mode=1");  // the online half; no history entry
  } else {
    document.title = "PASS";
  }
}
