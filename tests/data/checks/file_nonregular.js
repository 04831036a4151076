// Named pipes and devices handed to every File method that reads, writes,
// copies, describes or deletes a file: each must answer at once with a
// Windows code. Every answer is kept as a problem row (NAME the case,
// DESCRIPTION the answer text) and how long it took as "<case>.ms". The
// test lays out C:\ProgramData\FT\special with a named pipe "pipe" (no
// writer, no reader), a plain file and a folder "rm" before the run.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_nonregular.js"};
var ExecutionMode = {detect: 101};
var SP = "C:\\ProgramData\\FT\\special";
var DEV = "Z:\\dev";
reportProblem({id: 1, name: "special", stages: [101]});

function timed(label, object, method) {
  var start = Date.now();
  ask.apply(null, arguments);
  note(label + ".ms", String(Date.now() - start));
}

var Problems = {
  1: {
    detect: function () {
      timed("info.pipe", at(SP, "pipe"), "getFileInfo");
      timed("info.zero", at(DEV, "zero"), "getFileInfo");
      timed("copy.frompipe", new File(), "createCopy", SP + "\\pipe", SP + "\\copy1");
      timed("copy.fromzero", new File(), "createCopy", DEV + "\\zero", SP + "\\copy2");
      timed("copy.topipe", new File(), "createCopy", SP + "\\plain.txt", SP + "\\pipe");
      timed("create.pipe", at(SP, "pipe"), "create", "text", "true");
      timed("create.zero", at(DEV, "zero"), "create", "text", "true");
      timed("regex.pipe", at(SP, "pipe"), "isRegExExistInFile", "x");
      timed("replace.pipe", at(SP, "pipe"), "findAndReplaceContent", "a", "b", "false");
      timed("csv.pipe", at(SP, "pipe"), "collectFileInfo", "pipe.csv", "false");
      timed("csv.zero", at(DEV, "zero"), "collectFileInfo", "zero.csv", "false");
      timed("csv.walk", at(SP, "*"), "collectFileInfo", "walk.csv", "true");
      timed("remove.walk", at(SP + "\\rm", "*"), "removeFile", "true");
    }
  }
};
