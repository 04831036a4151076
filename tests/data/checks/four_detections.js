// Four problems with detection and remediation, no health stage. Even ids
// fail detection; every stage function calls one plug-in method so the
// operation records show the order the stages ran in.
var header = {frameworkversion: "2.5", jsrevision: "17", jsfilename: "four_detections.js"};
var ExecutionMode = {detect: 101, fix: 102};
var Problems = {};
[1, 2, 3, 4].forEach(function (id) {
  reportProblem({id: id, name: "problem " + id, description: "", url: "", stages: [101, 102]});
  Problems[id] = {
    detect: function () {
      new OS().getOSName();
      if (id % 2) reportStatus({id: id, stage: 101, status: 1});
    },
    fix: function () {
      new System().getCPUName();
      reportStatus({id: id, stage: 102, status: 1});
    }
  };
});
