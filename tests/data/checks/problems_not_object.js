var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "problems_not_object.js"};
var ExecutionMode = {detect: 101};
var Problems = 42;
reportProblem({id: 1, name: "one", stages: [101]});
