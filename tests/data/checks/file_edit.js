// create, createCopy, findAndReplaceContent and isRegExExistInFile, with
// good and bad input. Every answer is kept as a problem row: NAME the case,
// DESCRIPTION the answer text. The test lays out C:\ProgramData\FT (with
// read-only, long-line and non-ASCII files) before the run and reads the
// files afterwards.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "file_edit.js"};
var ExecutionMode = {detect: 101};
var FT = "C:\\ProgramData\\FT";
reportProblem({id: 1, name: "edits", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      ask("replace.host", at(FT, "hosts.txt"), "findAndReplaceContent", "Host", "#host", "false");
      ask("line.example", at(FT, "lines.txt"), "findAndReplaceContent", "example", "#", "true");
      ask("line.long", at(FT, "long.txt"), "findAndReplaceContent", "EXAMPLE", "# ", "true");
      ask("replace.bytes", at(FT, "bytes.txt"), "findAndReplaceContent", "HOST", "h\u00f6st", "false");
      ask("line.utf8", at(FT, "utf8.txt"), "findAndReplaceContent", "gr\u00fc\u00dfe", "# ", "true");
      ask("replace.grows", at(FT, "grow.txt"), "findAndReplaceContent", "host", "hosthost", "false");
      ask("replace.nomatch", at(FT, "keep.txt"), "findAndReplaceContent", "absent", "x", "false");
      ask("line.nomatch", at(FT, "keep.txt"), "findAndReplaceContent", "absent", "x", "true");
      ask("replace.readonly", at(FT, "ro.txt"), "findAndReplaceContent", "host", "x", "false");
      ask("replace.missing", at(FT, "none.txt"), "findAndReplaceContent", "host", "x", "false");
      ask("replace.two", at(FT, "hosts.txt"), "findAndReplaceContent", "host", "x");
      ask("replace.emptyfind", at(FT, "hosts.txt"), "findAndReplaceContent", "", "x", "true");
      ask("replace.nofile", at(FT, ""), "findAndReplaceContent", "host", "x", "true");
      // A script boolean reads as its text.
      ask("replace.jsfalse", at(FT, "jsbool.txt"), "findAndReplaceContent", "one", "two", false);

      ask("create.new", at(FT, "made.txt"), "create", "Gr\u00fc\u00dfe \u20ac\n", "false");
      ask("create.exists", at(FT, "existing.txt"), "create", "changed", "false");
      ask("create.overwrite", at(FT, "replaced.txt"), "create", "new text", "true");
      ask("create.readonly", at(FT, "ro.txt"), "create", "changed", "true");
      ask("create.one", at(FT, "one.txt"), "create", "text");
      ask("create.nofolder", at(FT + "\\nowhere", "x.txt"), "create", "text", "true");
      ask("create.noname", at(FT, ""), "create", "text", "true");
      ask("create.empty", at(FT, "empty.txt"), "create", "", "true");

      ask("copy.ok", new File(), "createCopy", FT + "\\existing.txt", "%PROGRAMDATA%\\FT\\copy.txt");
      ask("copy.over", new File(), "createCopy", FT + "\\existing.txt", FT + "\\replaced2.txt");
      ask("copy.missing", new File(), "createCopy", FT + "\\none.txt", FT + "\\copy2.txt");
      ask("copy.one", new File(), "createCopy", FT + "\\existing.txt");
      ask("copy.empty", new File(), "createCopy", "", FT + "\\copy3.txt");
      ask("copy.nodest", new File(), "createCopy", FT + "\\existing.txt", FT + "\\nowhere\\c.txt");
      ask("copy.self", new File(), "createCopy", FT + "\\existing.txt", FT + "\\EXISTING.TXT");
      ask("copy.folder", new File(), "createCopy", FT + "\\sub", FT + "\\sub-copy");

      ask("regex.found", at(FT, "regex.txt"), "isRegExExistInFile", "version=\\d+\\.\\d+");
      ask("regex.notfound", at(FT, "regex.txt"), "isRegExExistInFile", "version=99");
      ask("regex.lookahead", at(FT, "regex.txt"), "isRegExExistInFile", "^name=(?=Zo)");
      ask("regex.utf8", at(FT, "regex.txt"), "isRegExExistInFile", "Zo\u00eb$");
      ask("regex.bad", at(FT, "regex.txt"), "isRegExExistInFile", "(unclosed");
      ask("regex.folder", at(FT, "sub"), "isRegExExistInFile", "x");
      ask("regex.missing", at(FT, "none.txt"), "isRegExExistInFile", "x");
      ask("regex.noargs", at(FT, "regex.txt"), "isRegExExistInFile");
      ask("regex.nofolder", at("", "regex.txt"), "isRegExExistInFile", "x");
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
