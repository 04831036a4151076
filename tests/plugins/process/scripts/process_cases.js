// The Process object on real processes; each answer is kept as a problem
// named after its case (ids from 1000). The test puts `cases` in front:
// the loopback URLs it serves.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "process_cases.js"};
var ExecutionMode = {detect: 101};
var nextId = 1000;
function note(label, answer) {
  reportProblem({id: nextId++, name: label, description: answer === "" ? "(empty)" : answer});
}
function ask(label, object, method) {
  note(label, object[method].apply(object, Array.prototype.slice.call(arguments, 3)));
}
function named(name) { return new Process({name: name}); }
// Milliseconds a call took, noted as "<label> ms".
function timed(label, object, method) {
  var started = Date.now();
  ask.apply(null, arguments);
  note(label + " ms", String(Date.now() - started));
}
reportProblem({id: 1, name: "process cases", stages: [101]});

var longName = new Array(10241).join("n");
var Problems = {
  1: {
    detect: function () {
      ask("isRunning empty", named(""), "isRunning");
      ask("isRunning case", named("SLEEPER.EXE"), "isRunning");
      ask("isRunning pattern", named("sleep.*\\.exe"), "isRunning");
      ask("isRunning capitals", named("Sleep.*"), "isRunning");
      ask("isRunning long", named(longName), "isRunning");
      ask("isRunning invalid", named("("), "isRunning");
      timed("isRunning catastrophic", named("(a|aa)*c"), "isRunning");
      ask("is32Bit 64", named("sleeper.exe"), "is32Bit");
      ask("is32Bit 32", named("elf32.exe"), "is32Bit");
      ask("is32Bit long", named(longName), "is32Bit");
      ask("isAdmin", named("sleeper.exe"), "isAdmin");
      ask("stop two", named("twin.exe"), "stop");
      ask("stop again", named("twin.exe"), "stop");
      ask("stop long", named(longName), "stop");

      var tool = new Process({name: "tool.exe", path: "C:\\Tools"});
      ask("start two args", tool, "start", true, 5);
      ask("start /q", tool, "start", true, 5, "/q");
      var slow = new Process({name: "slow.exe", path: "C:\\Tools"});
      timed("start 1.9", slow, "start", true, 1.9, "3");
      ask("start abc", slow, "start", true, "abc", "3");
      timed("start NaN", slow, "start", true, NaN, "3");
      var exits = new Process({name: "exit4.exe", path: "C:\\Tools"});
      ask("start infinity", exits, "start", true, Infinity, "");
      ask("start -1", exits, "start", true, -1, "");
      ask("start 1e30", exits, "start", true, 1e30, "");
      var lingering = new Process({name: "lingering.exe", path: "C:\\Tools"});
      ask("start lingering", lingering, "start", false, 0, "30");
      ask("isRunning lingering", named("lingering.exe"), "isRunning");
      ask("stop lingering", named("lingering.exe"), "stop");

      var run = new Process();
      ask("execute five", run, "ExecuteExternalApplication", "a", "b", "c", "d", true);
      ask("execute cabinet", run, "ExecuteExternalApplication", cases.cabinet, "setup.exe",
          "C:\\Dl", "x y", false, 10);
      ask("execute temp", run, "ExecuteExternalApplication", cases.plain, "hello.exe", "", "",
          true, 10);
      ask("execute wait", run, "ExecuteExternalApplication", cases.exit4, "exit4.exe", "C:\\Dl",
          "", false, 2147483647);
      ask("execute missing", run, "ExecuteExternalApplication", cases.missing, "x.exe", "C:\\Dl",
          "", false, 1);
      ask("execute closed", run, "ExecuteExternalApplication", cases.closed, "x.exe", "C:\\Dl",
          "", false, 1);
      ask("execute climbing", run, "ExecuteExternalApplication", cases.climbing, "x", "C:\\Dl\\in",
          "", false, 1);
      ask("collect", new Process(), "collect");
    }
  }
};
