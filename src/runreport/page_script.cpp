// The run report page's script. It runs once, at the end of the body: it
// parses the model from the JSON block and builds the page. Every text
// from the store goes in through textContent; a link gets an href only when
// it is an http(s) address. Operation rows are drawn a page at a time
// (the first 2000 matches, more on demand), so a run of 100 000 records
// opens quickly and the filter stays responsive.

#include "page_assets.h"

namespace zorel::runreport {

const char kPageScript[] = R"JS(
(function () {
  'use strict';
  var model = JSON.parse(document.getElementById('run-model').textContent);
  var app = document.getElementById('app');
  var PAGE = 2000;

  function el(tag, cls, text) {
    var e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined && text !== null) e.textContent = String(text);
    return e;
  }
  function add(parent, child) { parent.appendChild(child); return child; }
  function inWords(text) {
    var out = String(text), hit = false;
    Object.keys(model.tokens).forEach(function (t) {
      if (out.indexOf(t) >= 0) { out = out.split(t).join(model.tokens[t]); hit = true; }
    });
    return hit ? out.trim() : out;
  }
  function pretty(text) {
    var t = inWords(text);
    try {
      var v = JSON.parse(t);
      if (v !== null && typeof v === 'object') return JSON.stringify(v, null, 2);
    } catch (e) { /* not JSON: shown as it is */ }
    return t;
  }
  function statusClass(s) { return s === 1 ? 'pass' : s === 0 ? 'none' : s === 2 ? 'open' : 'fail'; }
  function section(id, title) {
    var s = add(app, el('section'));
    s.id = id;
    add(s, el('h2', null, title));
    return s;
  }
  function facts(parent, pairs) {
    var dl = add(parent, el('dl', 'facts'));
    pairs.forEach(function (p) { add(dl, el('dt', null, p[0])); add(dl, el('dd', null, p[1])); });
    return dl;
  }
  function table(parent, heads) {
    var t = add(parent, el('table'));
    var tr = add(add(t, el('thead')), el('tr'));
    heads.forEach(function (h) { add(tr, el('th', null, h)); });
    return add(t, el('tbody'));
  }
  function row(tbody, cells, cls) {
    var tr = add(tbody, el('tr', cls));
    cells.forEach(function (c) {
      var td = add(tr, el('td'));
      if (c instanceof Node) td.appendChild(c); else td.textContent = c === null || c === undefined ? '' : String(c);
    });
    return tr;
  }
  function link(url) {
    if (!url) return '';
    if (!/^https?:\/\//i.test(url)) return url;
    var a = el('a', null, url);
    a.href = url;
    a.rel = 'noopener noreferrer';
    return a;
  }

  var stageNames = {};
  model.stages.forEach(function (s) { stageNames[s.id] = s.name; });
  var problemNames = {};
  model.problems.forEach(function (p) { problemNames[p.id] = p.name; });
  function stageLabel(id) {
    return 'stage ' + id + (stageNames[id] ? ' (' + stageNames[id] + ')' : '');
  }

  // The run.
  var run = model.run;
  add(app, el('h1', null, run.script ? run.script : 'Run report'));
  var sum = model.summary;
  function plural(n, word) { return n + ' ' + word + (n === 1 ? '' : 's'); }
  add(app, el('p', 'summary', plural(sum.problems, 'problem') + ', ' + sum.notpassed + ' not passed; ' +
      plural(sum.operations, 'operation') + ', ' + sum.failedoperations + ' failed'));
  if (model.missingtables.length) {
    add(app, el('p', 'note', 'The store lacks these tables: ' + model.missingtables.join(', ')));
  }
  var head = section('run', 'Run');
  facts(add(head, el('div', 'card')), [
    ['Script', run.script], ['Revision', run.revision], ['Framework version', run.framework],
    ['Session', model.session === null ? 'none' : model.session],
    ['Started', run.start], ['Ended', run.end || 'not recorded'], ['Run', run.state],
    ['Store integrity', model.integrity], ['Read from', model.source]]);
  var machine = section('machine', 'Machine');
  if (model.environment.length) facts(add(machine, el('div', 'card')), model.environment);
  else add(machine, el('p', 'muted', 'The store holds no machine facts.'));

  // Stages and problems.
  var stages = section('stages', 'Stages');
  if (model.stages.length) {
    var sb = table(stages, ['Stage', 'Function', 'Role']);
    model.stages.forEach(function (s) { row(sb, [s.id, s.name, s.role]); });
  } else {
    add(stages, el('p', 'muted', 'The script declared no stages.'));
  }
  var problems = section('problems', 'Problems');
  if (!model.problems.length) add(problems, el('p', 'muted', 'The script declared no problems.'));
  model.problems.forEach(function (p) {
    var card = add(problems, el('div', 'card problem'));
    card.id = 'problem-' + p.id;
    add(card, el('h3', null, p.id + ' ' + (p.name || '(no name recorded)')));
    if (p.description) add(card, el('div', null, p.description));
    if (p.url) {
      var l = link(p.url);
      add(add(card, el('div')), l instanceof Node ? l : el('span', null, l));
    }
    var list = add(card, el('ul', 'stages'));
    if (!p.stages.length) add(list, el('li', 'muted', 'no stage declared'));
    p.stages.forEach(function (s) {
      var li = add(list, el('li'));
      add(li, el('span', null, stageLabel(s.stage) + ': '));
      add(li, el('span', 'status ' + statusClass(s.status), s.state));
      if (s.details) add(li, el('span', 'details', s.details));
      if (s.start || s.end) add(li, el('span', 'details', (s.start || '?') + ' to ' + (s.end || '?')));
    });
  });

  // Operations.
  var ops = section('operations', 'Operations');
  var rows = model.operations.rows;
  var bar = add(ops, el('div', 'filters'));
  var text = add(bar, el('input'));
  text.type = 'search';
  text.placeholder = 'Filter by text';
  text.setAttribute('aria-label', 'Filter operations by text');
  var component = add(bar, el('select'));
  component.setAttribute('aria-label', 'Component');
  add(component, el('option', null, 'All components')).value = '';
  var names = {};
  rows.forEach(function (r) { names[r[4]] = true; });
  Object.keys(names).sort().forEach(function (n) { add(component, el('option', null, n)).value = n; });
  var failuresLabel = add(bar, el('label'));
  var failuresOnly = add(failuresLabel, el('input'));
  failuresOnly.type = 'checkbox';
  add(failuresLabel, document.createTextNode(' failures only'));
  var count = add(bar, el('span', 'count'));
  var body = table(ops, ['#', 'API', 'Input details', 'Type', 'Error', 'Outcome']);
  var more = add(ops, el('button', 'more'));
  more.type = 'button';

  var matches = [], drawn = 0, lastGroup = null;
  function groupOf(r) { return r[1] + ':' + r[2]; }
  function groupText(r) {
    if (r[1] === -1 && r[2] === -1) return 'Before any stage (the script\'s top-level code)';
    return 'Problem ' + r[1] + (problemNames[r[1]] ? ' ' + problemNames[r[1]] : '') + ', ' + stageLabel(r[2]);
  }
  function drawMore() {
    var end = Math.min(matches.length, drawn + PAGE);
    var frag = document.createDocumentFragment();
    for (; drawn < end; ++drawn) {
      var r = rows[matches[drawn]];
      if (groupOf(r) !== lastGroup) {
        lastGroup = groupOf(r);
        var g = add(frag, el('tr', 'group'));
        add(g, el('td', null, groupText(r))).colSpan = 6;
      }
      var error = r[8] === 0 ? '' : r[8] + (r[9] ? ' ' + r[9] : '');
      var tr = row(frag, [r[0], r[5], el('pre', null, pretty(r[6])), ['check', 'change', 'collection'][r[3]] || r[3],
                          error, r[7] ? 'succeeded' : 'failed'], r[7] ? 'op' : 'op failed');
      tr.title = r[4] + ', ' + r[10] + ' to ' + r[11];
    }
    body.appendChild(frag);
    count.textContent = 'showing ' + drawn + ' of ' + matches.length + ' operations' +
        (matches.length !== rows.length ? ' (' + rows.length + ' in all)' : '');
    more.hidden = drawn >= matches.length;
    more.textContent = 'Show ' + Math.min(PAGE, matches.length - drawn) + ' more';
  }
  function refilter() {
    var needle = text.value.toLowerCase(), comp = component.value, failed = failuresOnly.checked;
    matches = [];
    for (var i = 0; i < rows.length; ++i) {
      var r = rows[i];
      if (failed && r[7]) continue;
      if (comp && r[4] !== comp) continue;
      if (needle && (r[4] + '\n' + r[5] + '\n' + r[6] + '\n' + r[8] + '\n' + r[9]).toLowerCase().indexOf(needle) < 0) continue;
      matches.push(i);
    }
    body.textContent = '';
    drawn = 0;
    lastGroup = null;
    drawMore();
  }
  var timer = 0;
  text.addEventListener('input', function () { clearTimeout(timer); timer = setTimeout(refilter, 150); });
  component.addEventListener('change', refilter);
  failuresOnly.addEventListener('change', refilter);
  more.addEventListener('click', drawMore);
  if (window.IntersectionObserver) {
    new IntersectionObserver(function (entries) {
      if (entries[0].isIntersecting && !more.hidden) drawMore();
    }).observe(more);
  }
  refilter();

  // What was collected.
  var coll = section('collection', 'Collected');
  if (model.collection.length) {
    var cb = table(coll, ['Kind', 'Source', 'Destination', 'Kept as', 'Important']);
    model.collection.forEach(function (c) {
      row(cb, [c.kind, c.source, c.destination, c.isdb ? 'database table' : 'file in collection.cab',
               c.important ? 'yes' : 'no']);
    });
  } else {
    add(coll, el('p', 'muted', 'The run collected nothing.'));
  }
  var cab = model.collectioncab;
  add(coll, el('h3', null, 'collection.cab'));
  if (cab === null) {
    add(coll, el('p', 'muted', 'No collection.cab beside the store.'));
  } else {
    if (cab.error) add(coll, el('p', 'note', cab.error));
    var fb = table(coll, ['File', 'Size (bytes)']);
    cab.files.forEach(function (f) { row(fb, [f.name, f.size]); });
  }
  document.documentElement.setAttribute('data-rendered', 'yes');
})();
)JS";

}  // namespace zorel::runreport
