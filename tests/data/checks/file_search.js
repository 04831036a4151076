// removeFile and collectFileInfo over real folder trees: wildcards,
// recursion, read-only files, system folders, version fields, appending.
// Every answer is kept as a problem row: NAME the case, DESCRIPTION the
// answer text. The test lays out C:\ProgramData\FT before the run.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_search.js"};
var ExecutionMode = {detect: 101};
var FT = "C:\\ProgramData\\FT";
reportProblem({id: 1, name: "search", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      ask("remove.nolog", at(FT + "\\nolog", "*.log"), "removeFile", "true");
      ask("remove.folder", at(FT, "rm"), "removeFile", "true");
      ask("remove.noargs", at(FT + "\\rm", "*.tmp"), "removeFile");
      ask("remove.noname", at(FT + "\\rm", ""), "removeFile", "true");
      ask("remove.flat", at(FT + "\\rmflat", "*.tmp"), "removeFile", "false");
      ask("remove.question", at(FT + "\\rmq", "a?.log"), "removeFile", "false");
      ask("remove.noext", at(FT + "\\rmext", "*.*"), "removeFile", "false");
      ask("remove.tree", at(FT + "\\rm", "*.TMP"), "removeFile", "true");
      ask("remove.missingfolder", at(FT + "\\nowhere", "*.tmp"), "removeFile", "true");

      ask("info.version", at(FT + "\\info", "app.exe"), "collectFileInfo", "versions.csv", "false");
      ask("info.plain", at(FT + "\\info", "plain.txt"), "collectFileInfo", "versions.csv", "false");
      ask("info.flags", at(FT + "\\info", "flags.txt"), "collectFileInfo", "flags.csv", "false");
      ask("info.common", at(FT + "\\info", "plain.txt"), "collectFileInfo", "", "false");
      ask("info.skip", at(FT + "\\info\\sys", "*.txt"), "collectFileInfo", "skip.csv", "true", "true");
      ask("info.noskip", at(FT + "\\info\\sys", "*.txt"), "collectFileInfo", "all.csv", "true", "false");
      ask("info.flat", at(FT + "\\info\\sys", "*.txt"), "collectFileInfo", "flat.csv", "false");
      ask("info.nomatch", at(FT + "\\info", "*.none"), "collectFileInfo", "none.csv", "true");
      ask("info.nofolder", at(FT + "\\nowhere", "*.txt"), "collectFileInfo", "none.csv", "true");
      ask("info.one", at(FT + "\\info", "plain.txt"), "collectFileInfo", "one.csv");
      ask("info.noname", at(FT + "\\info", ""), "collectFileInfo", "one.csv", "false");
      ask("info.escape", at(FT + "\\info", "plain.txt"), "collectFileInfo", "..\\..\\evil.csv", "false");
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
