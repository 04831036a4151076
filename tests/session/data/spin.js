// Detection of problem 2 never returns.
var header = {frameworkversion: "1.0", jsrevision: "1", jsfilename: "spin.js"};
var ExecutionMode = {health: 100, detect: 101};
var Problems = {};
reportProblem({id: 1, name: "health", description: "", url: "", stages: [100]});
reportProblem({id: 2, name: "spins", description: "", url: "", stages: [101]});
Problems[1] = {health: function () { reportStatus({id: 1, stage: 100, status: 1}); }};
Problems[2] = {detect: function () { while (true) {} }};
