// Put in front of each file_*.js case script by the test that runs it.
// Every answer a case script gets is kept as a problem row (ids from 1000):
// NAME the case label, DESCRIPTION the answer text, "(empty)" for "".
var nextId = 1000;

function note(label, answer) {
  reportProblem({id: nextId++, name: label, description: answer === "" ? "(empty)" : answer});
}
function ask(label, object, method) {
  note(label, object[method].apply(object, Array.prototype.slice.call(arguments, 3)));
}
function at(folder, file) { return new File({foldername: folder, filename: file}); }

