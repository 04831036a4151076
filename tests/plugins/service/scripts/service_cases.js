// The Service object's edge cases on "#!" services prepared by the test;
// each answer is kept as a problem named after its case (ids from 1000).
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "service_cases.js"};
var ExecutionMode = {detect: 101};
var nextId = 1000;
function ask(label, props, method) {
  var s = new Service(props);
  var answer = s[method].apply(s, Array.prototype.slice.call(arguments, 3));
  reportProblem({id: nextId++, name: label, description: answer === "" ? "(empty)" : answer});
}
var RUN = "C:\\Svc\\run.sh";
reportProblem({id: 1, name: "service cases", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      ask("missing", {name: "NoSuchSvc"}, "isPresent");
      ask("backslash name", {name: "a\\b"}, "isPresent");
      ask("300 characters", {name: new Array(301).join("s")}, "isPresent");
      ask("empty name", {name: ""}, "isPresent");
      ask("create", {name: "Svc1", path: RUN, startuptype: "0"}, "create");
      ask("create again", {name: "svc1", path: RUN, startuptype: "0"}, "create");
      ask("create OBrien", {name: "OBrien", displayname: "O'Brien service",
                             path: "C:\\Svc\\O'Brien\\svc.exe -k run", startuptype: "1"}, "create");
      ask("create pe", {name: "PeSvc", path: "C:\\Svc\\pe.exe", startuptype: "0"}, "create");
      ask("create gone", {name: "GoneSvc", path: "C:\\Svc\\gone.exe", startuptype: "0"}, "create");
      ask("manual is 0", {name: "Svc1", startuptype: "0"}, "checkStartUpType");
      ask("manual is not 1", {name: "Svc1", startuptype: "1"}, "checkStartUpType");
      ask("set 9", {name: "Svc1", startuptype: "9"}, "setStartUpType");
      ask("9 made it automatic", {name: "Svc1", startuptype: "1"}, "checkStartUpType");
      ask("set 0", {name: "Svc1", startuptype: "0"}, "setStartUpType");
      ask("status 2", {name: "Svc1", status: "2"}, "setStatus");
      ask("status abc", {name: "Svc1", status: "abc"}, "setStatus");
      ask("pause stopped", {name: "Svc1", status: "7"}, "setStatus");
      ask("start", {name: "Svc1", status: "4"}, "setStatus");
      ask("running is not 1", {name: "Svc1", status: "1"}, "checkStatus");
      ask("present manual running", {name: "Svc1", startuptype: "0", status: "4"}, "isPresent");
      ask("pause", {name: "Svc1", status: "7"}, "setStatus");
      ask("paused", {name: "Svc1", status: "7"}, "checkStatus");
      ask("continue", {name: "Svc1", status: "4"}, "setStatus");
      ask("running", {name: "Svc1", status: "4"}, "checkStatus");
      ask("start dependent", {name: "Dependent", status: "4"}, "setStatus");
      ask("its dependency runs", {name: "Dep", status: "4"}, "checkStatus");
      ask("stop a dependency", {name: "Dep", status: "1"}, "setStatus");
      ask("dependent in any case", {name: "dep"}, "hasDependency", "DEPENDENT", "4");
      ask("dependent not stopped", {name: "Dep"}, "hasDependency", "dependent", "1");
      ask("no dependents", {name: "Dependent"}, "hasDependency", "Dep", "4");
      ask("not a dependent", {name: "Dep"}, "hasDependency", "Svc1", "4");
      ask("dependentstatus x", {name: "Dep"}, "hasDependency", "Dependent", "x");
      ask("disable", {name: "GoneSvc", startuptype: "2"}, "setStartUpType");
      ask("start disabled", {name: "GoneSvc", status: "4"}, "setStatus");
      ask("enable", {name: "GoneSvc", startuptype: "0"}, "setStartUpType");
      ask("start without image", {name: "GoneSvc", status: "4"}, "setStatus");
      ask("start pe", {name: "PeSvc", status: "4"}, "setStatus");
      ask("start ghost dependency", {name: "NeedsGhost", status: "4"}, "setStatus");
      ask("start driver", {name: "Tcpip", status: "4"}, "setStatus");
      ask("create doomed", {name: "Doomed", path: "C:\\Svc\\doomed.sh", startuptype: "0"}, "create");
      ask("start doomed", {name: "Doomed", status: "4"}, "setStatus");
      ask("delete running", {name: "Doomed"}, "deleteService");
      ask("deleted", {name: "Doomed"}, "isPresent");
      ask("collect", {}, "collect");
    }
  }
};
