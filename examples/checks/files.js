// files.js: every method of the File object, as a check script uses them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/files.js --stages 100,101,102
// The script works only with files named FilesExample-* in C:\ProgramData.
// There is no method that makes a folder: work in folders that exist.
//
// The File object
// ---------------
// Create it with new File(), optionally with a JSON object of properties:
//     var f = new File({ foldername: "%CSIDL_WINDOWS%", filename: "win.ini" });
// Most methods read the properties `foldername` and `filename`, which you may
// also assign later (f.filename = "x.txt"). Methods that take positional
// arguments say so below. Every method returns a JSON text with "status",
// "return" and "errorcode"; errorcode 0 means success (for the yes/no
// methods: yes). Common codes: 87 a missing or empty input, 20023 the wrong
// number of arguments, 2 file not found, 3 path not found.
//
// Paths are Windows paths. Both "\" and "/" work; names ignore case.
// In a JavaScript string a backslash is written twice.
//
// Boolean arguments are texts: "true" and "false" (any case) and "0" are
// read as you expect; anything else, the empty text included, is true.

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "files.js"
};

var ExecutionMode = {
  prepare: 100,
  detect: 101,
  fix: 102
};

var BASE = "C:\\ProgramData";

// Parse a plug-in answer; an empty text (a failed call) gives errorcode -1.
/**
 * @template {object} T
 * @param {T} object a plug-in object
 * @param {keyof T & string} method the name of one of its methods (zorel.d.ts lists them)
 * @returns {any} the parsed answer
 */
function call(object, method) {
  var args = Array.prototype.slice.call(arguments, 2);
  var text = /** @type {any} */ (object)[method].apply(object, args);
  if (!text) return { errorcode: -1 };
  return JSON.parse(text);
}

reportProblem({ id: 1, name: "Working folder", description: "Creates the example's folder and files.",
                url: "", stages: [100] });
reportProblem({ id: 2, name: "Hosts file entries", description: "Looks for a blocked update server.",
                url: "", stages: [101, 102] });
reportProblem({ id: 3, name: "Leftover installer files", description: "Finds, describes, collects and removes them.",
                url: "", stages: [101, 102] });
reportProblem({ id: 4, name: "Installer download", description: "Downloads and unpacks a cabinet.",
                url: "", stages: [101] });

var Problems = {
  1: {
    prepare: function () {
      // isFolderPresent: "return" true when foldername is a folder.
      var here = call(new File({ foldername: BASE }), "isFolderPresent");
      // create(content, ..., overwrite): the last argument is the overwrite
      // flag; an existing file with overwrite "false" answers 30057.
      var f = new File({ foldername: BASE, filename: "FilesExample-hosts.txt" });
      var made = call(f, "create", "127.0.0.1 localhost\r\n10.0.0.5 update.example.com\r\n", "true");
      // createCopy(source, destination): copies one file, replacing the
      // destination; the destination's folder must exist.
      call(new File(), "createCopy", "%WINDIR%\\System32\\drivers\\etc\\hosts",
           BASE + "\\FilesExample-hosts.bak");
      reportStatus({ id: 1, stage: 100, status: (here["return"] && made.errorcode === 0) ? 1 : 3 });
    }
  },

  2: {
    detect: function () {
      var f = new File({ foldername: BASE, filename: "FilesExample-hosts.txt" });
      // isFilePresent: "return" true when the file (or folder) exists.
      var present = call(f, "isFilePresent");
      // isRegExExistInFile(expression): Perl syntax, searched anywhere in
      // the file; 0 found, 20020 not found, 20016 a bad expression.
      var blocked = call(f, "isRegExExistInFile", "^\\s*[0-9.]+\\s+update\\.example\\.com").errorcode === 0;
      // getFileInfo: size and disksize in KB, modifiedtime in seconds since
      // 1970, filetype the extension with its point.
      var info = call(f, "getFileInfo");
      reportStatus({ id: 2, stage: 101, status: (present["return"] && !blocked && info.status) ? 1 : 3 });
    },
    fix: function () {
      var f = new File({ foldername: BASE, filename: "FilesExample-hosts.txt" });
      // findAndReplaceContent(find, text, ..., wholeLine): with wholeLine
      // "true" every line holding the find text gets the text put in front
      // (here: commented out); with "false" each occurrence is replaced.
      // Case is ignored; everything else in the file stays as it was.
      var edited = call(f, "findAndReplaceContent", "update.example.com", "# ", "true");
      call(f, "findAndReplaceContent", "LOCALHOST", "localhost", "false");
      reportStatus({ id: 2, stage: 102, status: edited.errorcode === 0 ? 1 : 3 });
    }
  },

  3: {
    detect: function () {
      var f = new File({ foldername: BASE, filename: "FilesExample-setup.log" });
      call(f, "create", "installer log", "true");
      f.filename = "FilesExample-setup.tmp";
      call(f, "create", "", "true");
      // collectFileInfo(csvName, recursive[, skipSystemFolders]): one CSV
      // line per matching file (path, times, attributes, version fields)
      // appended to collection\FileVersion\<csvName> in the result store's
      // folder; an empty name writes Common.csv. 0 when a line was written.
      f.filename = "FilesExample-setup.*";
      var described = call(f, "collectFileInfo", "installer.csv", "true", "true");
      // collect(name, recursive[, skipSystemFolders]): asks for the files
      // (filename set, wildcards allowed) or the folder (filename empty) to
      // be packed into collection.cab at the end of the run.
      var logs = call(f, "collect", "installer", "false");
      var folder = call(new File({ foldername: "%WINDIR%\\Logs" }), "collect", "windows", "true", "true");
      // getDiskInfo(path): space of the volume in GB.
      var disk = call(new File(), "getDiskInfo", "C:\\");
      // getFolderContents(folder) prints the folder's entries to the
      // program's output and answers nothing (an empty text).
      new File().getFolderContents(BASE);
      var ok = described.errorcode === 0 && logs.errorcode === 0 && folder.errorcode === 0 && disk.status;
      reportStatus({ id: 3, stage: 101, status: ok ? 3 : 1 });  // 3: leftovers found
    },
    fix: function () {
      // removeFile(recursive): deletes every match; folders left empty by a
      // recursive removal go too, never the folder you named. 0 when
      // nothing matched.
      var f = new File({ foldername: BASE, filename: "FilesExample-*.tmp" });
      var removed = call(f, "removeFile", "true");
      // renameFile(newName) renames foldername\filename inside its folder.
      f.filename = "FilesExample-setup.log";
      call(f, "renameFile", "FilesExample-setup.old.log");
      reportStatus({ id: 3, stage: 102, status: removed.errorcode === 0 ? 1 : 3 });
    }
  },

  4: {
    detect: function () {
      var f = new File();
      // downloadFile(url, folder): http, https or file URLs; the file takes
      // the URL's last name. 0 success, 20001 failed (nothing is left
      // behind), 20004 the folder does not exist.
      var got = call(f, "downloadFile", "file:///C:/ProgramData/FilesExample-hosts.txt",
                     "%TEMP%");
      // extractCompressedFile(cabinet, folder): unpacks a .cab file into
      // the folder; any other file is left alone and answers 0.
      var unpacked = call(f, "extractCompressedFile", "%TEMP%\\FilesExample-hosts.txt",
                          BASE + "\\FilesExample-unpacked");
      // deleteFolder(recursive): removes foldername; "true" with everything
      // in it. Answers 0 with "status" false when there was no folder.
      var cleanup = new File({ foldername: BASE + "\\FilesExample-unpacked" });
      call(cleanup, "deleteFolder", "true");
      reportStatus({ id: 4, stage: 101, status: got.errorcode === 0 && unpacked.errorcode === 0 ? 1 : 3 });
    }
  }
};
