// File presence, information, disk space, folder listing, renaming and
// folder removal, with good and bad input. Every answer is kept as a
// problem row by file_cases_prelude.js. The test lays
// out C:\ProgramData\FT before the run.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_presence.js"};
var ExecutionMode = {detect: 101};
var FT = "C:\\ProgramData\\FT";
reportProblem({id: 1, name: "presence", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      var long = FT;
      while (long.length < 300) long += "\\abcdefghij";
      ask("present.long", at(long, "x.txt"), "isFilePresent");
      ask("present.file", at(FT, "five.txt"), "isFilePresent");
      ask("present.case", at("c:\\programdata\\ft", "FIVE.TXT"), "isFilePresent");
      ask("present.vars", at("%PROGRAMDATA%\\FT", "five.txt"), "isFilePresent");
      ask("present.missing", at(FT, "none.txt"), "isFilePresent");
      ask("present.nofolder", at(FT + "\\nowhere", "none.txt"), "isFilePresent");
      ask("present.empty", at(FT, ""), "isFilePresent");
      ask("present.nothing", new File(), "isFilePresent");
      // Properties assigned after construction are the ones used.
      var later = new File();
      later.foldername = FT;
      later.filename = "five.txt";
      ask("present.assigned", later, "isFilePresent");

      ask("folder.dir", new File({foldername: FT}), "isFolderPresent");
      ask("folder.file", new File({foldername: FT + "\\five.txt"}), "isFolderPresent");
      ask("folder.missing", new File({foldername: FT + "\\nowhere"}), "isFolderPresent");
      ask("folder.empty", new File(), "isFolderPresent");

      ask("info.five", at(FT, "five.txt"), "getFileInfo");
      ask("info.zero", at(FT, "zero"), "getFileInfo");
      ask("info.cluster", at(FT, "cluster.bin"), "getFileInfo");
      ask("info.flags", at(FT, "flags.txt"), "getFileInfo");
      ask("info.missing", at(FT, "none.txt"), "getFileInfo");
      ask("info.folder", at(FT, "sub"), "getFileInfo");
      ask("info.empty", at("", "five.txt"), "getFileInfo");

      ask("disk.c", new File(), "getDiskInfo", "C:");
      ask("disk.none", new File(), "getDiskInfo");
      ask("disk.two", new File(), "getDiskInfo", "C:\\", "D:\\");
      ask("disk.missing", new File(), "getDiskInfo", "C:\\nowhere\\deeper");

      ask("contents", new File(), "getFolderContents", FT + "\\sub");
      ask("contents.file", new File(), "getFolderContents", FT + "\\five.txt");
      ask("contents.none", new File(), "getFolderContents");

      ask("rename.none", at(FT, "old.txt"), "renameFile");
      ask("rename.two", at(FT, "old.txt"), "renameFile", "a.txt", "b.txt");
      ask("rename.empty", at(FT, "old.txt"), "renameFile", "");
      ask("rename.missing", at(FT, "none.txt"), "renameFile", "still-none.txt");
      ask("rename.ok", at(FT, "old.txt"), "renameFile", "new.txt");

      ask("delete.none", new File({foldername: FT + "\\full"}), "deleteFolder");
      ask("delete.missing", new File({foldername: FT + "\\nowhere"}), "deleteFolder", "true");
      ask("delete.file", new File({foldername: FT + "\\five.txt"}), "deleteFolder", "true");
      ask("delete.notempty", new File({foldername: FT + "\\full"}), "deleteFolder", "false");
      ask("delete.empty", new File({foldername: FT + "\\hollow"}), "deleteFolder", "false");
      ask("delete.all", new File({foldername: FT + "\\full"}), "deleteFolder", "true");
      ask("delete.drive", new File({foldername: "C:\\"}), "deleteFolder", "true");
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
