// One Service call for the runs that follow another: the test puts a line
// "var CASE = {name: ..., status: ..., method: ...};" before this text.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "service_then.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "service run", stages: [101]});
var Problems = {
  1: {
    detect: function () {
      var s = new Service({name: CASE.name, status: CASE.status});
      reportProblem({id: 1000, name: "answer", description: s[CASE.method]()});
    }
  }
};
