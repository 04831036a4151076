// services.js: every method of the Service object, as a check script uses
// them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/services.js --stages 101,102
// It creates its own service, "ServicesExample", runs it (the machine's
// svchost.exe stand-in), and deletes it again in the fix stage.
//
// The Service object
// ------------------
// Create one per service, with a JSON object of properties:
//     var svc = new Service({ name: "Themes", startuptype: "1", status: "4" });
// or assign them later (svc.status = "1"). Properties:
//     name         the service's key name (not its display name)
//     displayname  used by create
//     path         binary path with arguments, used by create
//     startuptype  0 manual, 1 automatic, 2 disabled, 3 boot, 4 system
//     status       1 stopped, 4 running, 7 paused (setStatus also takes 8:
//                  restart)
// Every method returns a JSON text with "status", "return" and "errorcode".
// "status" is true unless an input was missing (87) or the call failed
// inside (20016); "return" is true when the answer is yes / done.
// Windows error codes come back unchanged, for example 1060 for a service
// that is not installed, 1056 already running, 1058 disabled, 1062 not
// running, 1051 another running service depends on it, 1073 the name
// exists, 123 a name with "\" or "/" or over 256 characters.
//
// isPresent()         is `name` installed (and, when set, with `startuptype`
//                     and `status`)? 30002 / 30001 for another start type /
//                     state.
// checkStartUpType()  30007 when the start type is another.
// checkStatus()       30006 when the state is another.
// setStartUpType()    changes the start type (numbers other than 0, 2, 3, 4
//                     mean automatic).
// setStatus()         starts, stops, pauses, continues or restarts the
//                     service; returns once that is done. 30005 for a state
//                     that cannot be asked for (2, 3, 5, 6).
// create()            a new own-process service from name, displayname,
//                     path and startuptype.
// deleteService()     stops the service when it runs, then deletes it.
// hasDependency(dependentname, dependentstatus)
//                     does `dependentname` (any case) depend on `name`,
//                     directly or not, and is it in that state? 30004 it
//                     is in another state, 30009 `name` has no dependents,
//                     30010 not among them. A dependentstatus that is not a
//                     number gives the empty text.
// collect()           writes every Win32 service into SERVICE_TABLE of the
//                     result store (drivers are left out).

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "services.js"
};

var ExecutionMode = {
  detect: 101,
  fix: 102
};

var NAME = "ServicesExample";

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

reportProblem({ id: 1, name: "Core services", description: "The services an installer needs are installed and can run.",
                url: "", stages: [101] });
reportProblem({ id: 2, name: "Example service", description: "Creates, runs, checks and deletes a service of its own.",
                url: "", stages: [101, 102] });

var Problems = {
  1: {
    detect: function () {
      // Installed, automatic: "return" true.
      var rpc = call(new Service({ name: "RpcSs", startuptype: "1" }), "isPresent");
      // Manual start: checkStartUpType with 0.
      var bits = call(new Service({ name: "BITS", startuptype: "0" }), "checkStartUpType");
      // Its dependents: RpcSs has many; Schedule among them, stopped (1).
      var deps = call(new Service({ name: "RpcSs" }), "hasDependency", "schedule", "1");
      // The snapshot for the report.
      call(new Service(), "collect");
      reportStatus({ id: 1, stage: 101, status: rpc["return"] && bits["return"] && deps["return"] ? 1 : 3 });
    }
  },

  2: {
    detect: function () {
      var svc = new Service({ name: NAME, displayname: "Services example",
                              path: "%SystemRoot%\\System32\\svchost.exe -k example",
                              startuptype: "0" });
      // 1073 when an earlier run left it behind.
      var created = call(svc, "create");
      svc.status = "4";
      var started = call(svc, "setStatus");          // start
      var running = call(svc, "checkStatus");        // status 4?
      svc.status = "7";
      call(svc, "setStatus");                        // pause
      svc.status = "8";
      call(svc, "setStatus");                        // restart: continue a paused one
      svc.startuptype = "2";
      call(svc, "setStartUpType");                   // disabled
      var disabled = call(svc, "checkStartUpType");
      svc.status = "1";
      call(svc, "setStatus");                        // stop
      var ok = (created["return"] || created.errorcode === 1073) && started["return"] &&
               running["return"] && disabled["return"];
      reportStatus({ id: 2, stage: 101, status: ok ? 3 : 4 });
    },
    fix: function () {
      var gone = call(new Service({ name: NAME }), "deleteService");
      var absent = call(new Service({ name: NAME }), "isPresent");
      reportStatus({ id: 2, stage: 102, status: gone["return"] && absent.errorcode === 1060 ? 1 : 3 });
    }
  }
};
