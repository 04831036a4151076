var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "stages_as_strings.js"};
var ExecutionMode = {detect: "101"};
var Problems = {1: {detect: function () {}}};
reportProblem({id: 1, name: "one", stages: [101]});
