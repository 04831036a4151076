// Two problems with a health stage; problem 2 fails it, so no detection may
// run for either.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "health_gate.js"};
var ExecutionMode = {health: 100, detect: 101};
var Problems = {
  1: {health: function () { new System().checkForDiskSpace(1); reportStatus({id: 1, stage: 100, status: 1}); },
      detect: function () { reportStatus({id: 1, stage: 101, status: 1}); }},
  2: {health: function () { reportStatus({id: 2, stage: 100, status: 3}); },
      detect: function () { reportStatus({id: 2, stage: 101, status: 1}); }}
};
reportProblem({id: 1, name: "first", stages: [100, 101]});
reportProblem({id: 2, name: "second", stages: [100, 101]});
