// A run that asks for packaging but collects nothing: only db.cab is made.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_nothing_collected.js"};
var ExecutionMode = {fix: 102};
reportProblem({id: 1, name: "nothing", stages: [102]});
var Problems = {
  1: {
    fix: function () {
      // A request that fails records no collection row.
      new File({foldername: "C:\\ProgramData", filename: "none.txt"}).collect("x", "false");
      reportStatus({id: 1, stage: 102, status: 1});
    }
  }
};
