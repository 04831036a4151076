// network.js: every method of the Network object, as a check script uses
// them.
//
// Run it on the emulated machine with
//     zorel check --script examples/checks/network.js --stages 101,102
// It sends echo requests to this machine's own loopback addresses only.
//
// The Network object
// ------------------
// Create it once, at the top of the script, and use it in every stage:
//     var net = new Network();
// It takes no properties. Every method returns a JSON text with "status",
// "return" and "errorcode".
//
// IsServerReachable(address)
//     Sends one ICMP echo request ("ping") to a host name or an IPv4 or IPv6
//     address and waits one second for the reply. Read "errorcode" only:
//     "status" and "return" stay false even when the host answers.
//        0      the host answered
//        87     no address, or an empty one
//        11001  the name is unknown (11002: the name server did not answer
//               in time, 11004: the name has no address, 11003: another
//               failure of the resolver)
//        5      this machine may not send echo requests
//        11010  no reply within the second
//     A name with both IPv4 and IPv6 addresses is pinged on its first IPv4
//     address; a name with only IPv6 addresses on its first IPv6 address.
//
// ClearDnsCache()
//     Flushes the machine's DNS resolver cache. "return" true and errorcode
//     0 when it was flushed; 20031 when the flush failed; 20016 when the
//     machine has no flush. (The emulated machine flushes its host's cache:
//     with the command in the host variable ZOREL_DNS_FLUSH when set, else
//     with resolvectl or nscd when the host has one.)

var header = {
  frameworkversion: "1.0",
  jsrevision: "1",
  jsfilename: "network.js"
};

var ExecutionMode = {
  detect: 101,
  fix: 102
};

// Made once, at the top level: the stage functions below share it.
var net = new Network();

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

reportProblem({ id: 1, name: "Loopback answers", description: "This machine answers echo requests on its loopback addresses.",
                url: "", stages: [101] });
reportProblem({ id: 2, name: "Stale name lookups", description: "Flushes the DNS cache before the installer looks up its servers.",
                url: "", stages: [101, 102] });

var Problems = {
  1: {
    detect: function () {
      // By address and by name, IPv4 and IPv6.
      var answered = 0, refused = 0;
      var targets = ["127.0.0.1", "localhost", "::1"];
      for (var i = 0; i < targets.length; i++) {
        var code = call(net, "IsServerReachable", targets[i]).errorcode;
        if (code === 0) answered++;
        // 5: the machine may not ping at all, which says nothing about the
        // loopback, so it is reported as a status of its own.
        if (code === 5) refused++;
      }
      var status = answered === targets.length ? 1 : (refused === targets.length ? 4 : 3);
      reportStatus({ id: 1, stage: 101, status: status });
    }
  },

  2: {
    detect: function () {
      // Nothing to detect: the cache is always flushed in the fix stage.
      reportStatus({ id: 2, stage: 101, status: 3 });
    },
    fix: function () {
      var flushed = call(net, "ClearDnsCache");
      // A machine without a flush (20016) has no cache to go stale.
      reportStatus({ id: 2, stage: 102, status: (flushed["return"] || flushed.errorcode === 20016) ? 1 : 3 });
    }
  }
};
