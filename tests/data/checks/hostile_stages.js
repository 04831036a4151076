// Stage functions that throw, recurse without end, pass odd arguments and
// huge texts. Every problem still gets its turn.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "hostile_stages.js"};
var ExecutionMode = {detect: 101};
var huge = new Array(2 * 1024 * 1024 + 1).join("x");
function deep(n) { return deep(n + 1) + 1; }
var Problems = {
  1: {detect: function () { reportStatus({id: 1, stage: 101, status: 3}); throw new Error("stage boom"); }},
  2: {detect: function () { deep(0); }},
  3: {detect: function () {
    var os = new OS("x");
    os.getOSName({a: 1}, 5, true, null, undefined, [1, [2]]);
    os.isOfType(huge);
    OS();
    reportStatus(42);
    reportStatus({id: 3, stage: 101, status: "high"});
    reportProblem({id: 30, name: huge, stages: [101]});
    var cyclic = {}; cyclic.self = cyclic;
    reportStatus(cyclic);
    os.getOSName(cyclic);
    reportStatus({id: 3, stage: 101, status: 1});
  }},
  4: {detect: function () { reportStatus({id: 4, stage: 101, status: 1}); }}
};
[1, 2, 3, 4].forEach(function (id) { reportProblem({id: id, name: "p" + id, stages: [101]}); });
