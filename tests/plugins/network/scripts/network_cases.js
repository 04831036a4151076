// The Network object on loopback and with bad input. Every answer is kept
// as a problem row (ids from 1000): NAME the case label, DESCRIPTION the
// answer text, "(empty)" for "".
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "network_cases.js"};
var ExecutionMode = {detect: 101};
var nextId = 1000;
function note(label, answer) {
  reportProblem({id: nextId++, name: label, description: answer === "" ? "(empty)" : answer});
}

var net = new Network();
reportProblem({id: 1, name: "network", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      note("reach.ipv4", net.IsServerReachable("127.0.0.1"));
      note("reach.localhost", net.IsServerReachable("localhost"));
      note("reach.ipv6", net.IsServerReachable("::1"));
      var long = "";
      while (long.length < 300) long += "abcdefghij";
      note("reach.long", net.IsServerReachable(long));
      note("reach.blanks", net.IsServerReachable("exa mple host"));
      note("reach.none", net.IsServerReachable());
      note("reach.empty", net.IsServerReachable(""));
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
