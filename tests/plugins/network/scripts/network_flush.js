// One ClearDnsCache call, its answer kept as problem "flush"; the test
// chooses the host's flush through ZOREL_DNS_FLUSH and PATH.
var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "network_flush.js"};
var ExecutionMode = {detect: 101};
var net = new Network();
reportProblem({id: 1, name: "network flush", stages: [101]});

var Problems = {
  1: {
    detect: function () {
      reportProblem({id: 1000, name: "flush", description: net.ClearDnsCache()});
      reportStatus({id: 1, stage: 101, status: 1});
    }
  }
};
