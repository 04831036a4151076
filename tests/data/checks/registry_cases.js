// Registry object edge cases in both views, with good and bad input, and
// the cases of the mended faults. Every answer is kept as a problem row by
// file_cases_prelude.js. The test puts HKCU\Software\ZR\Data (an empty
// REG_SZ "Empty", a REG_MULTI_SZ "Multi" of one and two, a REG_SZ "Quoted"
// holding "C:\x" in double quotes, a REG_SZ "Win" c:\Windows, a value named
// "Ł") and HKLM\SOFTWARE\ZR\W32 in the 32-bit view in place first.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "registry_cases.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "registry", stages: [101]});

function reg(props) { return new Registry(props); }
var ZR = "HKCU\\Software\\ZR";
var DATA = ZR + "\\Data";

var Problems = {
  1: {
    detect: function () {
      // Presence and key parsing.
      ask("present.missing", reg({key: "HKLM\\SOFTWARE\\NoSuchKey"}), "isKeyPresent");
      ask("present.lower", reg({key: "hklm\\SOFTWARE"}), "isKeyPresent");
      ask("present.hkxx", reg({key: "HKXX\\SOFTWARE"}), "isKeyPresent");
      ask("present.hkus", reg({key: "HKUS\\S-1-5-21-1004336348-1177238915-682003330-1001"}), "isKeyPresent");
      ask("present.empty", reg({}), "isKeyPresent");
      ask("present.w32.32", reg({key: "HKLM\\SOFTWARE\\ZR\\W32", is32bit: true}), "isKeyPresent");
      ask("present.w32.64", reg({key: "HKLM\\SOFTWARE\\ZR\\W32"}), "isKeyPresent");
      ask("present.nul", reg({key: ZR + "\\a\u0000b"}), "isKeyPresent");

      // Values and data.
      ask("value.empty", reg({key: DATA, value: "Empty"}), "isValuePresent");
      ask("value.none", reg({key: DATA, value: "None"}), "isValuePresent");
      ask("value.nokey", reg({key: ZR + "\\Nowhere", value: "x"}), "isValuePresent");
      ask("data.empty", reg({key: DATA, value: "Empty"}), "isDataPresent");
      ask("data.none", reg({key: DATA, value: "None"}), "isDataPresent");
      ask("type.multi", reg({key: DATA, value: "Multi", type: "7"}), "isOfDataType");
      ask("type.wrong", reg({key: DATA, value: "Multi", type: "1"}), "isOfDataType");
      ask("type.notype", reg({key: DATA, value: "Multi"}), "isOfDataType");
      ask("get.multi", reg({key: DATA, value: "Multi"}), "getValue");
      ask("get.none", reg({key: DATA, value: "None"}), "getValue");
      ask("match.list", reg({key: DATA, value: "Letter"}), "isDataMatching", 1, "a,B,c");
      ask("match.quoted", reg({key: DATA, value: "Quoted"}), "isDataMatching", 2, "C:\\x");
      ask("match.regex", reg({key: DATA, value: "Win"}), "isDataMatching", 0, "^C:\\\\.*");
      ask("match.no", reg({key: DATA, value: "Win"}), "isDataMatching", 2, "D:\\Windows");
      ask("match.unknowncheck", reg({key: DATA, value: "Win"}), "isDataMatching", 7, "anything");
      ask("match.onearg", reg({key: DATA, value: "Win"}), "isDataMatching", 1);
      ask("match.nokey", reg({key: ZR + "\\Nowhere", value: "Win"}), "isDataMatching", 1, "x");

      // setValue by type, read back.
      var dw = reg({key: ZR + "\\Set", value: "Dw", data: "10", type: "4"});
      ask("set.dword", dw, "setValue");
      ask("set.dword.get", dw, "getValue");
      ask("set.type5", reg({key: ZR + "\\Set", value: "T5", data: "1", type: "5"}), "setValue");
      ask("set.typeabc", reg({key: ZR + "\\Set", value: "Tabc", data: "1", type: "abc"}), "setValue");
      ask("set.minus1", reg({key: ZR + "\\Set", value: "M1", data: "-1", type: "4"}), "setValue");
      ask("set.minus1.get", reg({key: ZR + "\\Set", value: "M1"}), "getValue");
      ask("set.multi", reg({key: ZR + "\\Set", value: "Mu", data: "one,two", type: "7"}), "setValue");
      ask("set.multi.get", reg({key: ZR + "\\Set", value: "Mu"}), "getValue");
      ask("set.qword", reg({key: ZR + "\\Set", value: "Q", data: "-9223372036854775808", type: "11"}), "setValue");
      ask("set.qword.get", reg({key: ZR + "\\Set", value: "Q"}), "getValue");
      ask("set.nodata", reg({key: ZR + "\\Set", value: "N", type: "1"}), "setValue");
      // Numbers out of range or not numbers: nothing written, no key made.
      ask("set.dword.text", reg({key: ZR + "\\NoNum", value: "x", data: "12x", type: "4"}), "setValue");
      ask("set.dword.big", reg({key: ZR + "\\NoNum", value: "x", data: "4294967296", type: "4"}), "setValue");
      ask("set.qword.big", reg({key: ZR + "\\NoNum", value: "x", data: "9223372036854775808", type: "11"}), "setValue");
      ask("set.nonum.key", reg({key: ZR + "\\NoNum"}), "isKeyPresent");

      // A presence check after setValue on the same object still reads.
      var same = reg({key: ZR + "\\Same", value: "v", data: "text", type: "1"});
      ask("same.set", same, "setValue");
      ask("same.present", same, "isValuePresent");
      ask("same.data", same, "isDataPresent");

      // isOfDataType after a failed presence check answers that check.
      var stale = reg({key: DATA, value: "Multi", type: "7"});
      ask("stale.good", stale, "isOfDataType");
      stale.key = "HKXX\\Software\\ZR\\Data";
      ask("stale.hkxx", stale, "isOfDataType");

      // Pattern matches: direct sub-keys only unless recursive; whole
      // characters, not low bytes.
      ask("keymatch.direct", reg({key: ZR + "\\M"}), "isKeyMatch", ".*Update2.*", false);
      ask("keymatch.deep", reg({key: ZR + "\\M"}), "isKeyMatch", ".*Update2.*", true);
      ask("keymatch.one", reg({key: ZR + "\\M"}), "isKeyMatch", ".*Update1.*", "false");
      ask("keymatch.badregex", reg({key: ZR + "\\M"}), "isKeyMatch", "([", true);
      ask("keymatch.nokey", reg({key: ZR + "\\Nowhere"}), "isKeyMatch", ".*", true);
      ask("valuematch.onearg", reg({key: DATA}), "isValueMatch", ".*");
      ask("valuematch.lowbyte", reg({key: DATA}), "isValueMatch", "^A$", false);
      ask("valuematch.char", reg({key: DATA}), "isValueMatch", "^\u0142$", false);

      // Deletion.
      ask("delete.root", reg({key: "HKCU"}), "deleteKey", "", false);
      ask("delete.rootslash", reg({key: "HKLM\\"}), "deleteKey", "", true);
      ask("delete.badregex", reg({key: ZR + "\\Del"}), "deleteKey", "([", true);
      ask("delete.nested", reg({key: ZR + "\\Del"}), "deleteKey", "N.*", true);
      ask("delete.nested.gone", reg({key: ZR + "\\Del\\N1"}), "isKeyPresent");
      ask("delete.nomatch", reg({key: ZR + "\\Del"}), "deleteKey", "Zzz", true);
      ask("delete.whole", reg({key: ZR + "\\Whole"}), "deleteKey", "", false);
      ask("delete.whole.gone", reg({key: ZR + "\\Whole"}), "isKeyPresent");
      ask("delete.missing", reg({key: ZR + "\\Nowhere"}), "deleteKey", "", false);
      ask("delete.onearg", reg({key: ZR + "\\Del"}), "deleteKey", "x");
      // The 32-bit view: a shared key, and a redirected one.
      ask("delete.shared32", reg({key: ZR + "\\Shared", is32bit: true}), "deleteKey", "", false);
      ask("delete.shared32.gone", reg({key: ZR + "\\Shared"}), "isKeyPresent");
      ask("delete.w32", reg({key: "HKLM\\SOFTWARE\\ZR\\W32", is32bit: true}), "deleteKey", "", false);
      ask("delete.w32.gone", reg({key: "HKLM\\SOFTWARE\\ZR\\W32", is32bit: true}), "isKeyPresent");
      ask("delete.w32.64kept", reg({key: "HKLM\\SOFTWARE\\ZR\\W32"}), "isKeyPresent");
      ask("deletevalue.badregex", reg({key: DATA}), "deleteValue", "([", false);
      ask("deletevalue.some", reg({key: ZR + "\\Vals"}), "deleteValue", "tmp.*", true);
      ask("deletevalue.kept", reg({key: ZR + "\\Vals", value: "keep"}), "isValuePresent");
      ask("deletevalue.gone", reg({key: ZR + "\\Vals\\Sub", value: "tmp2"}), "isValuePresent");
      ask("createkey.new", reg({key: ZR + "\\Made\\Deeper"}), "createKey");
      ask("createkey.again", reg({key: ZR + "\\Made\\Deeper"}), "createKey");
      ask("createkey.hkxx", reg({key: "HKXX\\Made"}), "createKey");

      // Hostile sizes: a very long value name, 10 MiB of data.
      var longName = "";
      while (longName.length < 10000) longName += "n";
      ask("hostile.longname", reg({key: ZR + "\\Big", value: longName, data: "x", type: "1"}), "setValue");
      var big = "0123456789abcdef";
      while (big.length < 10 * 1024 * 1024) big += big;
      ask("hostile.bigdata", reg({key: ZR + "\\Big", value: "big", data: big, type: "1"}), "setValue");
      var deep = ZR;
      for (var i = 0; i < 520; ++i) deep += "\\d";
      ask("hostile.deep", reg({key: deep}), "createKey");
      ask("hostile.quote", reg({key: ZR + "\\q\"uote", value: "v\"al", data: "1", type: "1"}), "setValue");
      return true;
    }
  }
};
