// ScriptEngine object edge cases. Every answer is kept as a problem row by
// file_cases_prelude.js; a label ending in ".next" is a good call made
// right after the case before it. The test registers the ProgIDs
// Test.Alias (the JScript class) and Test.Other (a class with an
// in-process server that is not an engine) first.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "scriptengine_cases.js"};
var ExecutionMode = {detect: 101};
reportProblem({id: 1, name: "scriptengine", stages: [101]});

var checkScriptSecret = "visible";
var GOOD = "function Check() { return true; }";

function engine(language, fn) {
  return new ScriptEngine({languagename: language, functionname: fn || "Check"});
}
// Runs `script` in JScript, then a good script on the same object.
function run(label, script, fn) {
  var se = engine("JScript", fn);
  ask(label, se, "executeScript", script);
  ask(label + ".next", se, "executeScript", GOOD, "Check");
}

var Problems = {
  1: {
    detect: function () {
      run("true", GOOD);
      run("one", "function Check() { return 1; }");
      run("false", "function Check() { return false; }");
      run("string", "function Check() { return 'true'; }");
      run("throw", "function Check() { throw new Error('no'); }");
      run("syntax", "function Check() { return (; }");
      run("notfunction", "var Check = true;");
      run("toplevel", "function Check() { return true; }\nthrow 'early';");
      run("unknown", GOOD, "Missing");
      run("checkscript", "function Check() { return checkScriptSecret === 'visible'; }");
      run("checkscript.natives", "function Check() { return typeof reportProblem == 'function'; }");
      run("earlier.define", "var earlier = true; function Check() { return earlier; }");
      run("earlier.read", "function Check() { return earlier; }");
      run("utf8", "function Check() { return '\u00e9\u20ac\u4e2d' === '\\u00e9\\u20ac\\u4e2d'; }");
      run("utf8.name", "function Pr\u00fcfe() { return true; }", "Pr\u00fcfe");
      for (var i = 0; i < 3; ++i)
        run("alloc" + i, "function Check() { var a = []; for (;;) a.push(new Uint8Array(1 << 20)); }");
      run("alloc.toplevel", "var a = []; for (;;) a.push(new Uint8Array(1 << 20));");

      ask("progid.javascript", engine("JavaScript"), "executeScript", GOOD);
      ask("progid.alias", engine("Test.Alias"), "executeScript", GOOD);
      ask("progid.other", engine("Test.Other"), "executeScript", GOOD);
      ask("progid.vbscript", engine("VBScript"), "executeScript",
          "Function Check : Check = True : End Function");
      ask("progid.missing", engine("No.Such.Engine"), "executeScript", GOOD);

      // Arguments and properties.
      var se = engine("JScript", "Check");
      ask("noscript", se, "executeScript");
      ask("emptyscript", se, "executeScript", "");
      ask("nolanguage", engine(""), "executeScript", GOOD);
      ask("rename", se, "executeScript", "function Other() { return true; }", "Other");
      ask("quotes", se, "executeScript", "function Other() { return 'x' === 'x'; }");
    }
  }
};
