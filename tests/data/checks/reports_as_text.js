// The reporting functions given JSON text instead of objects.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "reports_as_text.js"};
var ExecutionMode = {detect: 101};
// Variables inside the text's strings are expanded as JSON string content.
reportProblem('{"id": 20, "name": "%USERNAME%", "description": "in %WINDIR%\\\\x", ' +
              '"url": "file:///%SystemDrive%/", "stages": [110, 111, 112]}');
// Text that is not JSON is expanded as text (and reads as no problem).
reportProblem('not json in %WINDIR%');
// Statuses as decimal strings count as their numbers, in objects and text.
reportStatus('{"id": 20, "stage": 110, "status": "3"}');
reportStatus({id: 20, stage: 111, status: "4"});
reportStatus('{"id": 20, "stage": 112, "status": "three"}');
var Problems = {};
