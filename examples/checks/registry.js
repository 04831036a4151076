// registry.js: every method of the Registry object, as a check script uses
// them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/registry.js --stages 100,101,102
// The script works only under HKEY_CURRENT_USER\Software\RegistryExample.
//
// The Registry object
// -------------------
// Create it with new Registry(), optionally with a JSON object of
// properties, and assign them later as you need:
//     var r = new Registry({ key: "HKCU\\Software\\Vendor", value: "Version" });
// Properties: key (a root name, a backslash, the sub-key path), value (a
// value name; empty for the key's default value), data and type (for
// setValue; type is the Windows type number as text: 1 REG_SZ,
// 2 REG_EXPAND_SZ, 3 REG_BINARY, 4 REG_DWORD, 7 REG_MULTI_SZ, 11 REG_QWORD),
// is32bit (true: the 32-bit view, where HKLM\SOFTWARE\X is
// HKLM\SOFTWARE\WOW6432Node\X).
// Roots: HKEY_LOCAL_MACHINE/HKLM, HKEY_CURRENT_USER/HKCU,
// HKEY_CLASSES_ROOT/HKCR, HKEY_USERS/HKUS, HKEY_CURRENT_CONFIG/HKCC, any
// case. Another root answers 87.
//
// Every method returns a JSON text with "status", "return" and "errorcode".
// Common codes: 0 yes / success, 2 key or value not present, 5 access
// denied, 87 a missing input or an unknown root, 20023 the wrong number of
// arguments, 20016 an exception (a type that is no number, a bad pattern in
// a deletion), 20027 the key is not present (pattern methods, deletions).
// Patterns are Perl regular expressions matched against whole names,
// ignoring case.

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "registry.js"
};

var ExecutionMode = {
  prepare: 100,
  detect: 101,
  fix: 102
};

var BASE = "HKCU\\Software\\RegistryExample";

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

// Plug-in objects may be made once at top level and used by every stage.
var settings = new Registry({ key: BASE + "\\Settings" });

reportProblem({ id: 1, name: "Example settings", description: "Writes the example's keys and values.",
                url: "", stages: [100] });
reportProblem({ id: 2, name: "Update channel", description: "Moves the example to the beta channel.",
                url: "", stages: [101, 102] });
reportProblem({ id: 3, name: "Leftover keys", description: "Finds, collects and removes them.",
                url: "", stages: [101, 102] });

var Problems = {
  1: {
    prepare: function () {
      // createKey: opens or creates the key (and its parents).
      var made = call(settings, "createKey");
      // setValue: writes value = data as type. 4 (REG_DWORD) and 11
      // (REG_QWORD) take a decimal number ("-1" is 4294967295); other text
      // answers 87 and writes nothing. 7 (REG_MULTI_SZ) splits data at
      // commas. Strings are written without a terminating NUL.
      settings.value = "Channel";
      settings.data = "stable";
      settings.type = "1";
      var written = call(settings, "setValue");
      settings.value = "Retries";
      settings.data = "3";
      settings.type = "4";
      call(settings, "setValue");
      settings.value = "Mirrors";
      settings.data = "one,two";
      settings.type = "7";
      call(settings, "setValue");
      call(new Registry({ key: BASE + "\\Leftover\\Update1" }), "createKey");
      call(new Registry({ key: BASE + "\\Leftover\\Old\\Update2" }), "createKey");
      reportStatus({ id: 1, stage: 100, status: made.errorcode === 0 && written.errorcode === 0 ? 1 : 3 });
    }
  },

  2: {
    detect: function () {
      // isKeyPresent: "status" true and "return" false with 2 for a
      // missing key.
      var key = call(new Registry({ key: BASE + "\\Settings" }), "isKeyPresent");
      var r = new Registry({ key: BASE + "\\Settings", value: "Channel" });
      // isValuePresent / isDataPresent: the value exists / holds data (an
      // empty REG_SZ counts: its NUL is data); 20026 no value, 20021 no data.
      var value = call(r, "isValuePresent");
      var data = call(r, "isDataPresent");
      // isOfDataType: compares the value's type with `type`; 20017 when
      // it differs.
      r.type = "1";
      var type = call(r, "isOfDataType");
      // getValue: "value" as text ("type" the type number): REG_SZ,
      // REG_EXPAND_SZ and REG_BINARY as UTF-16 text, REG_DWORD in decimal,
      // REG_MULTI_SZ each string followed by a blank; REG_QWORD answers 20017.
      var got = call(r, "getValue");
      // isDataMatching(check, text): 0 text is a pattern, 1 text is a comma
      // list of choices, 2 equal (also without surrounding double quotes);
      // case is ignored; 20020 no match.
      var stable = call(r, "isDataMatching", 1, "beta,STABLE");
      // The example wants the beta channel: finding "stable" needs the fix.
      var onStable = key["return"] && value["return"] && data["return"] && type["return"] &&
                     got.value === "stable" && stable.errorcode === 0;
      reportStatus({ id: 2, stage: 101, status: onStable ? 3 : 1 });
    },
    fix: function () {
      var r = new Registry({ key: BASE + "\\Settings", value: "Channel", data: "beta", type: "1" });
      var set = call(r, "setValue");
      // collect: saves the key (value empty) or one value into the result
      // store's collection\registry folder; packed into collection.cab at
      // the end of stage 102. A key collected once is not exported again
      // for a key or value below it.
      var saved = call(new Registry({ key: BASE + "\\Settings" }), "collect");
      call(new Registry({ key: BASE + "\\Settings", value: "Retries" }), "collect");
      reportStatus({ id: 2, stage: 102, status: set.errorcode === 0 && saved.errorcode === 0 ? 1 : 3 });
    }
  },

  3: {
    detect: function () {
      var leftover = new Registry({ key: BASE + "\\Leftover" });
      // isKeyMatch(pattern, recursive): a sub-key name matches (direct
      // sub-keys only unless recursive); 20018 none.
      var keys = call(leftover, "isKeyMatch", "Update.*", "true");
      // isValueMatch(pattern, recursive): a value name matches; 20019 none.
      var values = call(new Registry({ key: BASE + "\\Settings" }), "isValueMatch", "Retr.*", "false");
      reportStatus({ id: 3, stage: 101, status: keys["return"] && values["return"] ? 3 : 1 });
    },
    fix: function () {
      var leftover = new Registry({ key: BASE + "\\Leftover" });
      // deleteKey(pattern, recursive): deletes every matching sub-key with
      // its tree; with an empty pattern the key itself (a root alone is
      // refused with 87).
      var removed = call(leftover, "deleteKey", "Update.*", "true");
      // deleteValue(pattern, recursive): deletes every matching value.
      call(new Registry({ key: BASE + "\\Settings" }), "deleteValue", "Mirr.*", "false");
      call(leftover, "deleteKey", "", "false");
      // importRegistry(file): imports a .reg file, or the .reg of the same
      // name inside a .cab, from a path or URL; 30058 it cannot be had,
      // 87 another extension, 20016 a cabinet without its .reg.
      // importRegistryAndPermissionSet(file, account, fileToImport) also
      // grants the account full access to `key` (written with the root in
      // full: HKEY_CURRENT_USER\...; HKCU\... answers 87). Both are shown
      // here with a file that is not there: they answer 30058.
      var none = call(new Registry(), "importRegistry", "C:\\ProgramData\\RegistryExample-missing.reg");
      var perm = call(new Registry({ key: "HKEY_CURRENT_USER\\Software\\RegistryExample" }),
                      "importRegistryAndPermissionSet", "C:\\ProgramData\\RegistryExample-missing.reg",
                      "User", "C:\\ProgramData\\RegistryExample-missing.reg");
      var ok = removed.errorcode === 0 && none.errorcode === 30058 && perm.errorcode === 30058;
      reportStatus({ id: 3, stage: 102, status: ok ? 1 : 3 });
    }
  }
};
