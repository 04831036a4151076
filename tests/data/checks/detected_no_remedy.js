// Problem 5 is detected (reports nothing, so it keeps status 2) and has no
// remediation stage; problem 6 passes.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "detected_no_remedy.js"};
var ExecutionMode = {detect: 101, fix: 102};
var Problems = {
  5: {detect: function () {}},
  6: {detect: function () { reportStatus({id: 6, stage: 101, status: 0}); }}
};
reportProblem({id: 5, name: "five", stages: [101]});
reportProblem({id: 6, name: "six", stages: [101]});
