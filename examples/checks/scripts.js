// scripts.js: the ScriptEngine object, as a check script uses it.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/scripts.js --stages 101
//
// The ScriptEngine object
// -----------------------
// new ScriptEngine({languagename: PROGID, functionname: NAME}) makes an
// object that runs script text in the machine's Active Scripting engine
// registered under PROGID ("JScript" or "JavaScript" here; no VBScript
// engine is registered, so VBScript always answers 2).
//
// executeScript(TEXT [, NAME]) loads TEXT into a fresh engine, runs its
// top-level code, then calls the function NAME (argument 1, which also
// replaces the functionname property, or the property) with no arguments.
// The answer's "errorcode" is
//   0   the function returned the boolean true ("status" true),
//   2   anything else: another result (1, "true", an object, nothing), a
//       throw, a syntax error, a function that is not there or not a
//       function, a ProgID that is not an engine, a script that used more
//       than the engine's 64 MiB,
//   87  the language, the function name or the text is empty.
// "status" is true exactly when "errorcode" is 0.
//
// Each call gets an engine of its own: it sees nothing of this check script
// (no plug-ins, no reportProblem, no globals) and nothing of an earlier
// call. Pass what it needs inside the text. A script that never returns
// holds up the check until the run is cancelled.

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "scripts.js"
};

var ExecutionMode = {
  detect: 101
};

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

reportProblem({ id: 1, name: "Script answers", description: "Runs small detection scripts.",
                url: "", stages: [101] });
reportProblem({ id: 2, name: "Script failures", description: "Scripts that answer 2.",
                url: "", stages: [101] });

var jscript = new ScriptEngine({ languagename: "JScript", functionname: "Check" });

var Problems = {
  1: {
    detect: function () {
      // Only a boolean true passes. Single quotes are fine in the text (the
      // operation record shows them as double quotes).
      var plain = call(jscript, "executeScript", "function Check() { return 'a' < 'b'; }");
      // Helpers and top-level code run before the function is called.
      var helpers = call(jscript, "executeScript",
                         "var limit = 3;\n" +
                         "function count(list) { return list.length; }\n" +
                         "function Check() { return count([1, 2, 3]) === limit; }");
      // Argument 1 names another function (and stays in functionname).
      var other = call(jscript, "executeScript", "function Second() { return true; }", "Second");
      jscript.functionname = "Check";
      // Text beyond ASCII arrives unchanged.
      var text = call(jscript, "executeScript",
                      "function Check() { return '\u00e9\u20ac\u4e2d'.length === 3; }");
      var ok = plain.errorcode === 0 && helpers.errorcode === 0 && other.errorcode === 0 &&
               text.errorcode === 0;
      reportStatus({ id: 1, stage: 101, status: ok ? 1 : 3 });
    }
  },
  2: {
    detect: function () {
      var one = call(jscript, "executeScript", "function Check() { return 1; }");
      var thrown = call(jscript, "executeScript", "function Check() { throw new Error('x'); }");
      var unseen = call(jscript, "executeScript", "function Check() { return header; }");
      var vb = call(new ScriptEngine({ languagename: "VBScript", functionname: "Check" }),
                    "executeScript", "Function Check : Check = True : End Function");
      var empty = call(jscript, "executeScript");  // no text: 87
      var ok = one.errorcode === 2 && thrown.errorcode === 2 && unseen.errorcode === 2 &&
               vb.errorcode === 2 && empty.errorcode === 87 && !empty.status;
      reportStatus({ id: 2, stage: 101, status: ok ? 1 : 3 });
    }
  }
};
