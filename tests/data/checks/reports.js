// The reporting functions with good and odd arguments.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "reports.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 7, name: "n", description: "d", url: "u", stages: [100, 101, 102]});
reportProblem({id: 8, name: "no stages"});
reportProblem({id: 9, name: "string stage", stages: ["100"]});
reportProblem({id: 10, name: "windows", description: "in %WINDIR%\\x", stages: [101]});
reportProblem('{"id": 11, "name": "as text", "stages": {"b": 102, "a": 101}}');
reportProblem();
reportProblem(12);
reportProblem("not json at all");
reportProblem(null);
reportProblem([1, 2, 3]);
reportStatus({id: 7, stage: 100, status: 0});
reportStatus({id: 7, stage: 102, status: 3});
reportStatus({id: 7, stage: 555, status: 9});
reportStatus("garbage");
reportStatus();
var Problems = {};
