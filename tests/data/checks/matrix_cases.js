// For zorel matrix: answers that differ between Windows versions and
// bitness, a status that follows the version, and a top-level refusal of
// Windows 7 (its run does not complete).
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "matrix_cases.js"};
var ExecutionMode = {health: 100, detect: 101};
var detail = JSON.parse(new OS().getOSDetail()).osname;
if (detail.indexOf("Build 7601") >= 0) throw new Error("Windows 7 is not supported here");
var Problems = {
  1: {health: function () {
        new System().checkForDiskSpace(1);
        reportStatus({id: 1, stage: 100, status: 1});
      }},
  2: {detect: function () {
        var os = new OS();
        var major = JSON.parse(os.getMajorVersion()).majorversion;
        os.getOSArchType();
        os.isOfType(1);
        reportStatus({id: 2, stage: 101, status: major >= 10 ? 1 : 3});
      }}
};
reportProblem({id: 1, name: "room to install", stages: [100]});
reportProblem({id: 2, name: "Windows 10 or later", stages: [101]});
