// Plug-in calls for the call trace: a plain answer, arguments holding a
// NUL, a lone surrogate and 1 MiB of text, an unknown method, and a call in
// a second stage.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "trace_calls.js"};
var ExecutionMode = {health: 100, detect: 101};
var big = new Array(1024 * 1024 + 1).join("x");
var Problems = {
  1: {health: function () {
        var os = new OS();
        var detail = JSON.parse(os.getOSDetail());
        os.isOsVersionEqual("a\u0000b");
        os.isOsVersionEqual("\uD800x");
        os.isOsVersionEqual(big);
        reportStatus({id: 1, stage: 100, status: detail.errorcode === 0 ? 1 : 3});
      },
      detect: function () {
        new System().checkForDiskSpace(1);
        reportStatus({id: 1, stage: 101, status: 1});
      }}
};
reportProblem({id: 1, name: "traced calls", stages: [100, 101]});
