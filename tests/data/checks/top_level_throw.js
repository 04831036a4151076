var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "top_level_throw.js"};
reportProblem({id: 1, name: "declared before the throw", stages: [101]});
throw new Error("top level boom");
