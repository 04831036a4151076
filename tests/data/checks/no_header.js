// No header and no ExecutionMode at all.
reportProblem({id: 1, name: "one", stages: [101]});
var Problems = {1: {}};
