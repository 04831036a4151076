// downloadFile with file:// URLs and bad input, and extractCompressedFile
// on cabinets, other files and broken cabinets. Every answer is kept as a
// problem row by file_cases_prelude.js. The test lays
// out C:\ProgramData\FT (with a cabinet made by gcab) before the run.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_download.js"};
var ExecutionMode = {detect: 101};
var FT = "C:\\ProgramData\\FT";
var URL = "file:///C:/ProgramData/FT/";
reportProblem({id: 1, name: "download", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      var f = new File();
      ask("dl.file", f, "downloadFile", URL + "src.bin", FT + "\\dl");
      ask("dl.overwrite", f, "downloadFile", URL + "new/old.txt", FT + "\\dl");
      ask("dl.slash", f, "downloadFile", URL, FT + "\\dl");
      ask("dl.missing", f, "downloadFile", URL + "none.bin", FT + "\\dl");
      ask("dl.refused", f, "downloadFile", "http://127.0.0.1:1/refused.bin", FT + "\\dl");
      ask("dl.nofolder", f, "downloadFile", URL + "src.bin", FT + "\\nowhere");
      ask("dl.folderisfile", f, "downloadFile", URL + "src.bin", FT + "\\src.bin");
      ask("dl.one", f, "downloadFile", URL + "src.bin");
      ask("dl.three", f, "downloadFile", URL + "src.bin", FT + "\\dl", "x");
      ask("dl.emptyurl", f, "downloadFile", "", FT + "\\dl");
      ask("dl.cab", f, "downloadFile", URL + "GCAB.CAB", "%TEMP%");

      ask("x.cab", f, "extractCompressedFile", "%TEMP%\\GCAB.CAB", FT + "\\out");
      ask("x.zip", f, "extractCompressedFile", FT + "\\a.ZIP", FT + "\\out-zip");
      ask("x.broken", f, "extractCompressedFile", FT + "\\broken.cab", FT + "\\out-broken");
      ask("x.missing", f, "extractCompressedFile", FT + "\\none.cab", FT + "\\out-none");
      ask("x.one", f, "extractCompressedFile", FT + "\\GCAB.CAB");
      ask("x.empty", f, "extractCompressedFile", FT + "\\GCAB.CAB", "");
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
