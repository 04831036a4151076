// Three problems: 1 is the health check and passes; 2 fails detection and is
// remediated; 3 passes detection.
var header = {frameworkversion: "1.0", jsrevision: "3", jsfilename: "basic.js"};
var ExecutionMode = {health: 100, detect: 101, fix: 102};
var Problems = {};
reportProblem({id: 1, name: "health", description: "", url: "", stages: [100]});
Problems[1] = {health: function () { reportStatus({id: 1, stage: 100, status: 1}); }};
[2, 3].forEach(function (id) {
  reportProblem({id: id, name: "problem " + id, description: "", url: "", stages: [101, 102]});
  Problems[id] = {
    detect: function () { if (id == 3) reportStatus({id: id, stage: 101, status: 1}); },
    fix: function () { reportStatus({id: id, stage: 102, status: 1}); }
  };
});
