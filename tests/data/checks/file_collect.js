// collect requests of every form, then packaging at the end of the run
// (stage 102 asks for it): what COLLECTION_TABLE and FILE_COLLECTION_TABLE
// hold and what collection.cab and db.cab contain. Every answer is kept as
// a problem row: NAME the case, DESCRIPTION the answer text. The test lays
// out C:\ProgramData\FT\col before the run.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_collect.js"};
var ExecutionMode = {detect: 101, fix: 102};
var COL = "C:\\ProgramData\\FT\\col";
reportProblem({id: 1, name: "collect", stages: [101, 102]});

var Problems = {
  1: {
    detect: function () {
      ask("collect.pattern", at(COL + "\\logs", "*.log"), "collect", "logs", "false");
      ask("collect.recursive", at(COL + "\\tree\\b", "*.txt"), "collect", "tree", "true");
      ask("collect.filtered", at(COL + "\\win", "*.txt"), "collect", "win", "true", "true");
      ask("collect.folder", new File({foldername: COL + "\\Vendor"}), "collect", "logs", "false");
      ask("collect.file", at(COL, "single.txt"), "collect", "one", "false");
      ask("collect.nopath", at(COL + "\\missing", "*.txt"), "collect", "gone", "false");
      ask("collect.missing", at(COL, "none.txt"), "collect", "x", "false");
      ask("collect.emptyfolder", new File({foldername: COL + "\\emptydir"}), "collect", "e", "false");
      ask("collect.onearg", at(COL, "single.txt"), "collect", "x");
      ask("collect.nothing", new File(), "collect", "x", "false");
      ask("collect.climb", at(COL, "single.txt"), "collect", "..\\..\\x", "false");
      ask("collect.fourargs", at(COL + "\\logs", "a.log"), "collect", "four", "true", "true", "x");
      var f = at(COL, "none.txt");
      f.collect("x", "false");
      note("collect.property", String(f.errorcode));
      ask("info.csv", at(COL, "single.txt"), "collectFileInfo", "col.csv", "false");
    },
    fix: function () {
      reportStatus({id: 1, stage: 102, status: 1});
    }
  }
};
