// basic.js: a small check script for script authors.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/basic.js
// and look at the result store it leaves (the path is printed at the end).
//
// How a check script works
// ------------------------
// The top-level code runs once, when the framework starts the run. It must
// define three globals:
//   header         who you are: written to JSEXECUTION_TABLE.
//   ExecutionMode  your names for the three stages: the name of a stage
//                  function, mapped to its stage id. 100 is the minimum
//                  system health check, 101 detection, 102 remediation.
//   Problems       one object per problem id, holding one function per stage
//                  name; the framework calls Problems[id][name]() with no
//                  arguments and ignores what it returns.
// and it declares every problem with reportProblem, naming the stages the
// problem takes part in. A stage function reports how the stage came out
// with reportStatus: status 1 (or anything below 1) means passed; any other
// number is yours. A stage that reports nothing keeps status 2, "started",
// which counts as not passed.
//
// The framework runs stage 100 for every problem first; only when every
// stage-100 row passed does it go on to detection. A problem whose detection
// did not pass is remediated at once (when stage 102 was asked for).
//
// Plug-ins: create one with new (new OS(), new System()) and call its
// methods. Every method returns a JSON text; parse it with JSON.parse. Its
// "errorcode" is 0 on success, and for the yes/no methods 0 means yes.
// Texts you pass may hold %NAME% variables (%WINDIR%, %CSIDL_SYSTEM%, ...),
// which are replaced by the machine's values.
//
// docs/script-api.md lists every plug-in method; the JSDoc types below
// (ScriptHeader, ExecutionModes, ProblemTable) come from zorel.d.ts, so an
// editor checks the script against the API (see README.md).

/** @type {ScriptHeader} */
var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "basic.js"
};

/** @type {ExecutionModes} */
var ExecutionMode = {
  healthCheck: 100,
  detect: 101,
  fix: 102
};

// Parse a plug-in answer; an empty text (unknown method, failed call) gives
// an object whose errorcode is not 0.
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

var MINIMUM_FREE_MB = 500;

reportProblem({
  id: 1,
  name: "Minimum system requirements",
  description: "The machine has the disk space, memory and processor the product needs.",
  url: "https://support.readiscan.example/requirements",
  stages: [100]
});

reportProblem({
  id: 2,
  name: "Supported Windows version",
  description: "Windows 7 SP1 or later, 32-bit or 64-bit. Windows folder: %WINDIR%",
  url: "https://support.readiscan.example/windows",
  stages: [101, 102]
});

reportProblem({
  id: 3,
  name: "Machine facts",
  description: "Reads every fact the OS and System objects answer.",
  url: "",
  stages: [101]
});

reportProblem({
  id: 4,
  name: "No recent setup errors",
  description: "No error from an earlier setup in the application log of the last week.",
  url: "",
  stages: [101]
});

/** @type {ProblemTable} */
var Problems = {
  1: {
    healthCheck: function () {
      var system = new System();
      // The first call of a stage-100 function is what the summary shows as
      // the stage's outcome: here the expected and actual free space.
      var disk = call(system, "checkForDiskSpace", MINIMUM_FREE_MB);
      var cpu = call(system, "checkForCPUSpeed", 1000);
      // Required memory in MB per Windows version (major.minor).
      var memory = call(system, "checkForMemorySize", { "6.1": 1024, "6.2": 2048, "6.3": 2048, "10.0": 2048 });
      var passed = disk.errorcode === 0 && cpu.errorcode === 0 && memory.errorcode === 0;
      reportStatus({ id: 1, stage: 100, status: passed ? 1 : 3 });
    }
  },

  2: {
    detect: function () {
      var os = new OS();
      var supported = call(os, "isOfOsName", "Microsoft Windows").errorcode === 0 &&
                      call(os, "isOsVersionOrGreater", "6.1").errorcode === 0;
      // Older than Windows 7 is not fixable; report our own status 4.
      if (call(os, "isOsVersionLower", "6.1").errorcode === 0) supported = false;
      call(os, "isOsVersionEqual", "10.0");
      // isOfType: 1 asks "64-bit?", 0 asks "32-bit?".
      call(os, "isOfType", 1);
      reportStatus({ id: 2, stage: 101, status: supported ? 1 : 4 });
    },
    fix: function () {
      // Nothing can be changed here: say so with a status of our own.
      reportStatus({ id: 2, stage: 102, status: 5 });
    }
  },

  3: {
    detect: function () {
      var os = new OS();
      var system = new System();
      var facts = {};
      facts.name = call(os, "getOSName").osname;
      facts.detail = call(os, "getOSDetail").osname;
      facts.edition = call(os, "getOSEdition").osversion;
      facts.major = call(os, "getMajorVersion").majorversion;
      facts.minor = call(os, "getMinorVersion").minorversion;
      facts.arch = call(os, "getOSArchType").osarchtype;
      facts.language = call(os, "getOSLanguage").oslang;
      facts.uac = call(os, "getUACStatus").uacstatus;
      facts.browser = call(os, "getDefaultBrowser").defaultbrowser;
      facts.browsers = call(os, "getInstalledBrowsers").browsers;
      facts.managed = call(os, "isRavelManaged").errorcode === 0;
      facts.domain = call(os, "isUnderDomain").errorcode === 0;
      facts.systemFolder = call(os, "getSystemDirectory").value;
      facts.windowsFolder = call(os, "getWindowsDirectory").value;

      facts.cpu = call(system, "getCPUName").cpuname;
      facts.ram = call(system, "getTotalRAM").memorysize;
      facts.freeRam = call(system, "getFreeRAM").freememorysize;
      facts.usedRam = call(system, "getUsedRAM").usedmemorysize;
      facts.virtual = call(system, "getTotalVirtualMemory").memorysize;
      facts.freeVirtual = call(system, "getFreeVirtualMemory").freememorysize;
      facts.usedVirtual = call(system, "getUsedVirtualMemory").usedmemorysize;
      // getFileSystem takes the volume root as its last argument.
      facts.fileSystem = call(system, "getFileSystem", "C:\\").filesystem;
      facts.timeZone = call(system, "getTimeZone").timezone;
      facts.date = call(system, "getDate").date;
      facts.time = call(system, "getTime").time;
      facts.systemSpace = call(system, "getSystemSpace").memorysize;
      facts.systemFree = call(system, "getSystemFreeSpace").freememorysize;
      facts.online = call(system, "isInternetConnected").errorcode === 0;

      // Every answer is in OPERATION_TABLE already; a fact that came back
      // empty means the machine could not tell.
      reportStatus({ id: 3, stage: 101, status: facts.name ? 1 : 3 });
    }
  },

  4: {
    detect: function () {
      // EventLogger filters: type, days back, source, message text, event id
      // ("" leaves one out). Type 1 is an error.
      var log = new EventLogger({ eventgroup: "Application" });
      var failed = call(log, "IsEventPresent", "1", "7", "MsiInstaller", "", "");
      // A rule of your own can run as JScript: its Check function must
      // return true to pass (errorcode 0).
      var engine = new ScriptEngine({ languagename: "JScript", functionname: "Check" });
      var rule = call(engine, "executeScript", "function Check() { return 7 * 6 === 42; }");
      var passed = failed.errorcode === 0 && failed["return"] === false && rule.errorcode === 0;
      reportStatus({ id: 4, stage: 101, status: passed ? 1 : 3 });
    }
  }
};
