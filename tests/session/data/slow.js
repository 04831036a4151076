// The health check takes 1.5 s of busy work; detection is quick.
var header = {frameworkversion: "1.0", jsrevision: "1", jsfilename: "slow.js"};
var ExecutionMode = {health: 100, detect: 101};
var Problems = {};
reportProblem({id: 1, name: "slow health", description: "", url: "", stages: [100]});
reportProblem({id: 2, name: "quick", description: "", url: "", stages: [101]});
Problems[1] = {health: function () {
  var end = Date.now() + 1500;
  while (Date.now() < end) {}
  reportStatus({id: 1, stage: 100, status: 1});
}};
Problems[2] = {detect: function () { reportStatus({id: 2, stage: 101, status: 1}); }};
