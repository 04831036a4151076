var header = {frameworkversion: "1", jsrevision: "1", jsfilename: "syntax_error.js"};
var Problems = { 1: { detect: function () { ;
