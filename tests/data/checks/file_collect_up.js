// collect with folders that climb with "..": the request is made for the
// folder the path names, and packaging (stage 102) stores every file below
// the collection folder. The test lays out C:\ProgramData\FT\col.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_collect_up.js"};
var ExecutionMode = {detect: 101, fix: 102};
var COL = "C:\\ProgramData\\FT\\col";
reportProblem({id: 1, name: "collect up", stages: [101, 102]});

var Problems = {
  1: {
    detect: function () {
      ask("up.folder", new File({foldername: COL + "\\tree\\b\\.."}), "collect", "up", "false");
      ask("up.pattern", at(COL + "\\tree\\b\\..", "*.txt"), "collect", "pat", "true");
      ask("up.file", at(COL + "\\tree\\b", "..\\..\\single.txt"), "collect", "one", "false");
      ask("up.dots", new File({foldername: COL + "\\Vendor\\.\\..\\Vendor\\."}), "collect", "", "false");
      ask("up.drive", new File({foldername: "C:\\ProgramData\\.."}), "collect", "all", "false");
    },
    fix: function () {
      reportStatus({id: 1, stage: 102, status: 1});
    }
  }
};
