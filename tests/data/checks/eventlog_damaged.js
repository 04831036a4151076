// EventLogger on a damaged store: each call answers the read error.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "eventlog_damaged.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "eventlog", stages: [101]});

var sys = new EventLogger({eventgroup: "System"});
var Problems = {
  1: {
    detect: function () {
      ask("present", sys, "IsEventPresent", "", "", "Disk");
      ask("collect", sys, "CollectEvent", "", "", "Disk");
      return true;
    }
  }
};
