// COM object cases on registrations the regsvr32 stand-in makes from DLLs
// the test builds under C:\ProgramData\ZCOM (resources only). Every answer
// is kept as a problem row by file_cases_prelude.js.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "com_cases.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "com", stages: [101]});

var ZCOM = "C:\\ProgramData\\ZCOM";
var G64 = "{7A1C0002-0000-4000-8000-000000000064}";
var G32 = "{7A1C0002-0000-4000-8000-000000000032}";
var GPF = "{7A1C0002-0000-4000-8000-0000000000FF}";
var GNONE = "{7A1C0002-0000-4000-8000-00000000DEAD}";
function com(props) { return new COM(props); }

var Problems = {
  1: {
    detect: function () {
      ask("reg.x64", com({serverpath: ZCOM + "\\x64.dll"}), "registerCOM");
      ask("reg.x86", com({serverpath: ZCOM + "\\x86.dll", is32bit: true}), "registerCOM");
      ask("reg.x86.native", com(), "registerCOM", ZCOM + "\\x86b.dll");   // argument 0
      ask("reg.x64.as32", com({serverpath: ZCOM + "\\x64b.dll", is32bit: true}), "registerCOM");
      ask("reg.notpe", com({serverpath: ZCOM + "\\notpe.dll"}), "registerCOM");
      ask("reg.cut", com({serverpath: ZCOM + "\\cut.dll"}), "registerCOM");
      ask("reg.nores", com({serverpath: ZCOM + "\\nores.dll"}), "registerCOM");
      ask("reg.bad", com({serverpath: ZCOM + "\\bad.dll"}), "registerCOM");
      ask("reg.ocx", com({serverpath: ZCOM + "\\srv.ocx"}), "registerCOM");
      ask("reg.missing", com({serverpath: ZCOM + "\\missing.dll"}), "registerCOM");
      ask("reg.empty", com(), "registerCOM");
      ask("reg.long225", com({serverpath: LONG225}), "registerCOM");
      ask("reg.long226", com({serverpath: LONG226}), "registerCOM");
      ask("reg.exe", com({serverpath: "C:\\Program Files\\ZApp\\srv.exe"}), "registerCOM");
      ask("reg.peexe", com({serverpath: ZCOM + "\\pe.exe"}), "registerCOM");

      ask("entry.64", com({clsid: G64}), "isEntryPresent");
      ask("entry.32", com({clsid: G32, is32bit: true}), "isEntryPresent");
      ask("entry.32in64", com({clsid: G32}), "isEntryPresent");
      ask("entry.bad", com({clsid: "{not-registered}"}), "isEntryPresent");
      ask("entry.noclsid", com(), "isEntryPresent");
      ask("type.inproc", com({clsid: G64, servertype: "InprocServer32"}), "isOfServerType");
      ask("type.local", com({clsid: G64, servertype: "LocalServer32"}), "isOfServerType");
      ask("type.noclass", com({clsid: GNONE, servertype: "InprocServer32"}), "isOfServerType");
      ask("type.notype", com({clsid: G64}), "isOfServerType");
      ask("path.match", com({clsid: G64, servertype: "InprocServer32", serverpath: ZCOM + "\\X64.DLL"}), "isServerPathMatching");
      ask("path.other", com({clsid: G64, servertype: "InprocServer32", serverpath: ZCOM + "\\x86.dll"}), "isServerPathMatching");
      ask("path.32", com({clsid: G32, is32bit: true, servertype: "InprocServer32", serverpath: ZCOM + "\\x86.dll"}), "isServerPathMatching");
      ask("binary.64", com({clsid: G64, servertype: "InprocServer32"}), "isServerBinaryExists");
      ask("binary.quoted", com({clsid: GPF, servertype: "InprocServer32"}), "isServerBinaryExists");
      ask("binary.noclass", com({clsid: GNONE, servertype: "InprocServer32"}), "isServerBinaryExists");
      return true;
    }
  }
};
