// Forty health checks of 250 ms each (10 s in all), each reporting its
// status: a run that keeps writing the store until it is cancelled.
var header = {frameworkversion: "1.0", jsrevision: "1", jsfilename: "steady.js"};
var ExecutionMode = {health: 100};
var Problems = {};
for (var i = 1; i <= 40; ++i) {
  reportProblem({id: i, name: "step " + i, description: "", url: "", stages: [100]});
  Problems[i] = {health: (function (id) {
    return function () {
      var end = Date.now() + 250;
      while (Date.now() < end) {}
      reportStatus({id: id, stage: 100, status: 1});
    };
  })(i)};
}
