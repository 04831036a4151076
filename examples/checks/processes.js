// processes.js: every method of the Process object, as a check script uses
// them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/processes.js --stages 101,102
// It looks at the machine's running processes, starts a small program it
// writes itself under %TEMP% and collects the process list.
//
// The Process object
// ------------------
//     var proc = new Process({name: "notepad.exe", path: "C:\\Windows"});
// Properties (pass them at creation or assign them later):
//     name       the program's file name ("notepad.exe"); for isRunning also
//                a pattern
//     path       the folder of the program, for start
//     errorcode  the last method's code. Unlike other objects, a method
//                that has nothing to report keeps the previous value.
// Every method returns a JSON text with "status", "return" and "errorcode";
// a failed call (an argument that is no number, an invalid pattern)
// returns the empty text instead.
//
// isRunning()
//     "return" true when a process of that name runs. The name is compared
//     without regard to case (NOTEPAD.EXE finds notepad.exe); failing that
//     it is a pattern matched against the whole lower-cased process name
//     (note.*\.exe), so a pattern with capitals never matches.
//        0 found, 30052 not running, 87 no name.
// is32Bit()
//     "return" true when the process of that name is a 32-bit program.
//        0 32-bit, 30051 64-bit, 30053 not running, 20015 it cannot be
//        opened.
// stop()
//     Ends every process of that name (compared without case, no pattern).
//        0 all ended ("status" true), 127 none was running, another code
//        when one could not be opened or ended.
// start(bWait, lMaxWaitSec, strArgument)
//     Runs path + "//" + name + " " + strArgument. With bWait true it waits
//     up to lMaxWaitSec seconds (whole seconds: 1.9 waits 1; a negative
//     number or Infinity waits as long as it takes; NaN does not wait).
//        0 started (or ended with exit code 0), 30055 still running after
//        the wait, the program's exit code when it ended with another one,
//        87 fewer than three arguments or no name, 2 no such program.
// isAdmin()
//     Does nothing and returns the empty text.
// collect()
//     Writes every process into PROCESS_COLLECTION_TABLE of the result
//     store (name, image path, pid, user, working set, "32 Bit"/"64 Bit",
//     elevated). "status" stays false: read "errorcode" (0 collected).
// ExecuteExternalApplication(SourceUrl, ProcessName, DownloadDest, CmndLine,
//                            ShowUI, WaitTime)
//     Downloads SourceUrl into the folder DownloadDest (the temporary folder
//     when empty), extracts it there when its name ends in ".cab", then runs
//     DownloadDest\ProcessName with CmndLine. WaitTime > 0 waits that many
//     seconds.
//        0 run (and ended with 0), 20001 the download failed, 20016 the
//        cabinet could not be extracted, 30055 still running after the
//        wait, the exit code otherwise, 20023 not six arguments.

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "processes.js"
};

var ExecutionMode = {
  detect: 101,
  fix: 102
};

// Made once, at the top level: the stage functions below share them.
var shell = new Process({name: "sh"});
var anyShell = new Process({name: "(ba|da)?sh"});

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

reportProblem({ id: 1, name: "Shell present", description: "A command shell runs on this machine.",
                url: "", stages: [101] });
reportProblem({ id: 2, name: "Helper program", description: "Starts a helper program, waits for it and stops what is left.",
                url: "", stages: [101, 102] });
reportProblem({ id: 3, name: "Process list", description: "Keeps the list of running processes with the results.",
                url: "", stages: [101] });

var Problems = {
  1: {
    detect: function () {
      var exact = call(shell, "isRunning");
      var pattern = call(anyShell, "isRunning");
      var wide = call(shell, "is32Bit");  // 30051 for a 64-bit "sh", 30053 with none
      call(new Process(), "isAdmin");     // answers nothing
      var found = exact["return"] || pattern["return"];
      reportStatus({ id: 1, stage: 101, status: found ? 1 : 3 });
    }
  },

  2: {
    detect: function () {
      // Nothing to detect: the helper runs in the fix stage.
      reportStatus({ id: 2, stage: 101, status: 3 });
    },
    fix: function () {
      // A helper that is not there (2) is started by its folder and name.
      var helper = new Process({name: "helper.exe", path: "%TEMP%"});
      var started = call(helper, "start", true, 5, "/quiet");
      // Fewer than three arguments: 87.
      var wrong = call(helper, "start", true, 5);
      // Downloading from a server nobody listens on: 20001.
      var fetched = call(new Process(), "ExecuteExternalApplication",
                         "http://127.0.0.1:1/setup.exe", "setup.exe", "", "", false, 10);
      var stopped = call(helper, "stop");  // 127: nothing left to stop
      var sound = started.errorcode === 2 && wrong.errorcode === 87 &&
                  fetched.errorcode === 20001 && stopped.errorcode === 127;
      reportStatus({ id: 2, stage: 102, status: sound ? 1 : 3 });
    }
  },

  3: {
    detect: function () {
      var collected = call(new Process(), "collect");
      reportStatus({ id: 3, stage: 101, status: collected.errorcode === 0 ? 1 : 3 });
    }
  }
};
