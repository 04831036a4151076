// EventLogger edge cases on the records the test imported (System: Service
// Control Manager 7036 an hour ago and two days ago, Disk 11 a month ago,
// ZTest 999 and 777 at fixed times; Application: what eventcreate wrote).
// Every answer is kept as a problem row by file_cases_prelude.js.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "eventlog_cases.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "eventlog", stages: [101]});

function log(group) { return new EventLogger({eventgroup: group}); }
var sys = log("System");
var big = new Array(1024 * 1024 + 1).join("x");

var Problems = {
  1: {
    detect: function () {
      // No filter: 87, with five empty arguments and with none.
      ask("none.five", sys, "IsEventPresent", "", "", "", "", "");
      ask("none.zero", sys, "IsEventPresent");
      ask("none.days0", sys, "IsEventPresent", "", "0");
      // 7036 within one day (the record's id is qualified: 0x40001B7C).
      ask("scm.day", sys, "IsEventPresent", "", "1", "", "", "7036");
      ask("scm.type", sys, "IsEventPresent", "4", "1", "", "", "7036");
      ask("scm.wrongtype", sys, "IsEventPresent", "1", "1", "", "", "7036");
      ask("disk.day", sys, "IsEventPresent", "", "1", "Disk");
      ask("disk.days24856", sys, "IsEventPresent", "", "24856", "Disk");
      ask("two.args", sys, "IsEventPresent", "", "1");
      // Source without case, message with case.
      ask("source.case", sys, "IsEventPresent", "", "", "service CONTROL manager");
      ask("message.case", sys, "IsEventPresent", "", "", "ZTest", "\"World\" & more");
      ask("message.othercase", sys, "IsEventPresent", "", "", "ZTest", "\"world\"");
      // A source without a message file still matches; its message is empty.
      ask("nomessagefile", sys, "IsEventPresent", "", "", "Disk", "Harddisk");
      ask("bigfilter", sys, "IsEventPresent", "", "", "", big);
      // Bad types fail the call: the empty text, no operation row.
      ask("type.abc", sys, "IsEventPresent", "abc");
      ask("type.70000", sys, "IsEventPresent", "70000");
      // Not a registered log: Application is read, messages are looked up
      // under the name given.
      ask("unregistered", log("NoSuchLog"), "IsEventPresent", "", "", "MyApp");
      ask("unregistered.message", log("NoSuchLog"), "IsEventPresent", "", "", "MyApp", "quoted");
      ask("eventcreate.message", log("application"), "IsEventPresent", "", "", "myapp", "\"quoted\"");
      // Collections: twice into System.csv, newest first.
      ask("collect.one", sys, "CollectEvent", "", "", "ZTest");
      ask("collect.two", sys, "CollectEvent", "", "", "ZTest");
      ask("collect.nomatch", sys, "CollectEvent", "", "", "NoSource");
      ask("collect.none", sys, "CollectEvent");
      // Group names that are paths or hold odd characters.
      ask("collect.dotdot", log("..\\..\\x"), "CollectEvent", "", "", "MyApp");
      ask("collect.drive", log("C:\\x"), "CollectEvent", "", "", "MyApp");
      ask("collect.odd", log("a*?\"<>|\u0001b"), "CollectEvent", "", "", "MyApp");
      return true;
    }
  }
};
