// com.js: every method of the COM object, as a check script uses them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/com.js --stages 101,102
// The script registers one example class by hand under
// HKEY_CLASSES_ROOT\CLSID (with the Registry object) and checks it.
//
// The COM object
// --------------
// Create it with new COM({...}) and the properties clsid (braces
// included), servertype (InprocServer32, LocalServer32, ...), serverpath
// (the server binary: expected, or to register) and is32bit (the 32-bit
// registry view and system folder). Every method returns a JSON text with
// "status", "return" and "errorcode": 0 yes / success, 2 not present,
// 87 a needed property is empty, 20022 the class is not registered.

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "com.js"
};

var ExecutionMode = {
  detect: 101,
  fix: 102
};

var CLSID = "{7A1C0003-0000-4000-8000-00000000E0E0}";
var SERVER = "%WINDIR%\\System32\\drivers\\etc\\hosts";

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

// Plug-in objects may be made once at top level and used by every stage.
var example = new COM({ clsid: CLSID, servertype: "InprocServer32", serverpath: SERVER });

reportProblem({ id: 1, name: "Example class", description: "Checks a class registration.",
                url: "", stages: [101] });
reportProblem({ id: 2, name: "Server registration", description: "Registers servers.",
                url: "", stages: [101, 102] });

var Problems = {
  1: {
    detect: function () {
      call(new Registry({ key: "HKCR\\CLSID\\" + CLSID + "\\InprocServer32", value: "",
                          data: SERVER, type: "1" }), "setValue");
      // isEntryPresent: HKEY_CLASSES_ROOT\CLSID\<clsid> exists.
      var entry = call(example, "isEntryPresent");
      // isOfServerType: the class has the servertype sub-key; 20022 when
      // the class itself is missing.
      var type = call(example, "isOfServerType");
      // isServerPathMatching: the server key's default value equals
      // serverpath (case ignored, surrounding quotes allowed); 20020 not.
      var path = call(example, "isServerPathMatching");
      // isServerBinaryExists: the file the server key names is on disk.
      var binary = call(example, "isServerBinaryExists");
      var ok = entry["return"] && type["return"] && path["return"] && binary["return"];
      reportStatus({ id: 1, stage: 101, status: ok ? 1 : 3 });
    }
  },
  2: {
    detect: function () {
      // The servers below are not registered yet: the fix stage does it.
      reportStatus({ id: 2, stage: 101, status: 3 });
    },
    fix: function () {
      // registerCOM([path]): serverpath, or argument 0 when serverpath is
      // empty. A .dll goes to regsvr32 /s (the 32-bit one with is32bit) and
      // answers regsvr32's exit code when it fails: 3 not a loadable PE
      // image, 4 no registration script, 5 a script that failed (nothing
      // registered). An .exe is started with -regserver and not waited
      // for. Anything else answers 20029; a missing file 2; a command line
      // over 259 characters 87.
      var missing = call(new COM(), "registerCOM", "C:\\ProgramData\\ComExample-missing.dll");
      var ocx = call(new COM({ serverpath: SERVER }), "registerCOM");
      reportStatus({ id: 2, stage: 102, status: missing.errorcode === 2 && ocx.errorcode === 20029 ? 1 : 3 });
    }
  }
};
