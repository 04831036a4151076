// Text holding NUL characters in arguments that end up in rows: a problem's
// texts, a plug-in argument recorded in INPUT_DETAILS, a collection pattern.
// Stage 102 packages the run, so db.cab is made too.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "store_nul_text.js"};
var ExecutionMode = {detect: 101, fix: 102};
reportProblem({id: 1, name: "nul\u0000name", description: "before\u0000after", url: "u\u0000",
               stages: [101, 102]});

var Problems = {
  1: {
    detect: function () {
      new OS().isOfOsName("Micro\u0000soft");
      var answer = new File({foldername: "C:\\ProgramData", filename: "a\u0000*.txt"})
          .collect("nul", "false");
      reportProblem({id: 2, name: "collect answer", description: answer});
    },
    fix: function () {
      reportStatus({id: 1, stage: 102, status: 1});
    }
  }
};
