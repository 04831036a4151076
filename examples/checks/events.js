// events.js: the EventLogger object, as a check script uses it.
//
// Put a record into the machine's Application log first, with the system's
// own tool or from a JSON-lines file:
//     ZOREL_MACHINE=~/.local/share/zorel/machine \
//       ~/.local/share/zorel/machine/drive_c/Windows/System32/eventcreate.exe \
//       /T ERROR /ID 42 /D "Setup could not reach its server" /SO DemoSetup
//     zorel machine eventlog import my-records.jsonl
// then run
//     zorel check --script examples/checks/events.js --stages 101
//
// The EventLogger object
// ----------------------
//     var log = new EventLogger({eventgroup: "Application"});
// "eventgroup" names the log (Application, System, Security; a name that is
// not a log reads Application). Both methods take the same five filter
// arguments, each may be "" to leave it out:
//     0 event type (1 error, 2 warning, 4 information, 8/16 audit)
//     1 number of days back from now
//     2 source name (any case)
//     3 text the formatted message must contain (case as written)
//     4 event id (its low 16 bits)
// With no filter at all a method answers errorcode 87.
//   IsEventPresent(...)  "return" true when a record matches.
//   CollectEvent(...)    appends every match, newest first, to
//                        collection\eventLog\<eventgroup>.csv in the result
//                        store and records it for the collection cabinet.
// A type that is not a number answers the empty text.

var header = { frameworkversion: "1.0", jsrevision: "1", jsfilename: "events.js" };
var ExecutionMode = { detect: 101 };

var app = new EventLogger({ eventgroup: "Application" });
var sys = new EventLogger({ eventgroup: "System" });

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

reportProblem({ id: 1, name: "Setup errors logged", description: "An error from DemoSetup in the last week.",
                url: "", stages: [101] });
reportProblem({ id: 2, name: "Recent system errors", description: "Collects the system log's errors of the last day.",
                url: "", stages: [101] });

var Problems = {
  1: {
    detect: function () {
      // A search: an error (type 1) from DemoSetup within 7 days whose
      // message mentions its server.
      var found = call(app, "IsEventPresent", "1", "7", "DemoSetup", "server", "");
      reportStatus({ id: 1, stage: 101, status: found["return"] ? 3 : 1 });
    }
  },
  2: {
    detect: function () {
      // A collection: every error of the last day, for the report.
      var collected = call(sys, "CollectEvent", "1", "1", "", "", "");
      reportStatus({ id: 2, stage: 101, status: collected.errorcode === 0 ? 1 : 3 });
    }
  }
};
