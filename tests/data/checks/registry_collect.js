// Registry collection and import cases. Every answer is kept as a problem
// row by file_cases_prelude.js. The test lays out HKCU\Software\ZC (keys
// A\B\C, V with values V1 and V2, Q with values "a b", "x & y" and W = 7),
// HKLM\SOFTWARE\ZC\Both in both views, the .reg and .cab files under
// C:\ProgramData\ZI, and a folder in the place of the 9th collection file.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "registry_collect.js"};
var ExecutionMode = {detect: 101, remedy: 102};
reportProblem({id: 1, name: "collect", stages: [101, 102]});

function reg(props) { return new Registry(props); }
var ZC = "HKCU\\Software\\ZC";
var ZI = "C:\\ProgramData\\ZI";

var Problems = {
  1: {
    detect: function () {
      ask("c.1.abc", reg({key: ZC + "\\A\\B\\C"}), "collect");          // regnode1
      ask("c.2.a", reg({key: ZC + "\\A"}), "collect");                  // regnode2 encloses 1
      ask("c.3.ab", reg({key: ZC + "\\A\\B"}), "collect");              // inside 2: no export
      ask("c.4.v1", reg({key: ZC + "\\V", value: "V1"}), "collect");    // regnode4
      ask("c.5.v2", reg({key: ZC + "\\V", value: "V2"}), "collect");    // regnode5
      ask("c.6.v", reg({key: ZC + "\\V"}), "collect");                  // regnode6 takes both
      ask("c.7.blank", reg({key: ZC + "\\Q", value: "a b"}), "collect");
      ask("c.8.amp", reg({key: ZC + "\\Q", value: "x & y"}), "collect");
      ask("c.9.folder", reg({key: ZC + "\\Q"}), "collect");             // its file is a folder
      ask("c.10.w", reg({key: ZC + "\\Q", value: "W"}), "collect");
      ask("c.11.both64", reg({key: "HKLM\\SOFTWARE\\ZC\\Both"}), "collect");
      ask("c.12.both32", reg({key: "HKLM\\SOFTWARE\\ZC\\Both", is32bit: true}), "collect");
      ask("c.13.missing", reg({key: ZC + "\\Nowhere"}), "collect");
      ask("c.14.nokey", reg({}), "collect");
      ask("c.15.quote", reg({key: ZC + "\\Q", value: "a\"b"}), "collect");
      // A key ending in a backslash stays one argument on reg's command line.
      ask("c.17.slash", reg({key: ZC + "\\T\\"}), "collect");             // regnode15
      ask("c.16.hkus", reg({key: "HKUS\\S-1-5-21-1004336348-1177238915-682003330-1001\\Software\\ZC\\Q"}), "collect");

      // Imports.
      var i = reg({});
      ask("i.reg", i, "importRegistry", ZI + "\\plain.reg");
      ask("i.REG", i, "importRegistry", ZI + "\\UPPER.REG");
      ask("i.cab", i, "importRegistry", ZI + "\\Settings.cab");
      ask("i.cab.noreg", i, "importRegistry", ZI + "\\Empty.cab");
      ask("i.missing", i, "importRegistry", ZI + "\\missing.reg");
      ask("i.txt", i, "importRegistry", ZI + "\\plain.txt");
      ask("i.none", i, "importRegistry");
      var p = reg({key: "HKEY_CURRENT_USER\\Software\\ZP"});
      ask("p.ok", p, "importRegistryAndPermissionSet", ZI + "\\perm.reg", "User", ZI + "\\perm.reg");
      ask("p.cab", p, "importRegistryAndPermissionSet", ZI + "\\Settings.cab", "Users", "Settings.reg");
      ask("p.unknown", reg({key: "HKEY_CURRENT_USER\\Software\\ZU"}), "importRegistryAndPermissionSet",
          ZI + "\\unknown.reg", "Nobody", ZI + "\\unknown.reg");
      ask("p.abbrev", reg({key: "HKLM\\SOFTWARE\\ZC"}), "importRegistryAndPermissionSet",
          ZI + "\\plain.reg", "User", ZI + "\\plain.reg");
      ask("p.two", p, "importRegistryAndPermissionSet", ZI + "\\perm.reg", "User");
      ask("p.txt", p, "importRegistryAndPermissionSet", ZI + "\\perm.txt", "User", ZI + "\\perm.reg");
      return true;
    },
    remedy: function () { return true; }
  }
};
