// IsServerReachable on loopback and with bad input; each answer is kept as
// a problem named after its case (ids from 1000).
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "network_cases.js"};
var ExecutionMode = {detect: 101};
var net = new Network();
var nextId = 1000;
function ask(label) {
  var args = Array.prototype.slice.call(arguments, 1);
  reportProblem({id: nextId++, name: label, description: net.IsServerReachable.apply(net, args)});
}
reportProblem({id: 1, name: "network cases", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      ask("127.0.0.1", "127.0.0.1");
      ask("localhost", "localhost");
      ask("::1", "::1");
      ask("long", new Array(301).join("a"));
      ask("blanks", "exa mple host");
      ask("none");
      ask("empty", "");
    }
  }
};
