#include "web/device_page.h"

#include "devices/device_json.h"
#include "util/date_time.h"
#include "util/text.h"
#include "web/page_helpers.h"

namespace quillon::web {
namespace {

// The script that fetches the history and draws it. The graph element's data-points attribute
// counts the points drawn, so a test can see the graph was filled.
constexpr const char* kScript = R"JS(
(function () {
  var code = document.body.getAttribute('data-code');
  var unit = document.body.getAttribute('data-unit');
  var now = Math.floor(Date.now() / 1000);
  var ranges = {day: [86400, 'raw'], week: [7 * 86400, 'hour'], year: [366 * 86400, 'hour']};
  var graph = null;
  function url(c, span, step) {
    return '/api/history?code=' + encodeURIComponent(c) + '&from=' + (now - span) + '&to=' + (now + 60) + '&step=' + step;
  }
  function get(u) { return fetch(u, {credentials: 'same-origin'}).then(function (r) { return r.json(); }); }
  function points(rows, step) {
    var out = [];
    rows.forEach(function (r) {
      if (r.value === null) return;
      out.push(step === 'raw' ? [new Date(r.t), r.value] : [new Date(r.t), [r.min, r.value, r.max]]);
    });
    return out;
  }
  function draw(el, data, step, label, stepPlot, yUnit) {
    var box = document.getElementById(el);
    box.setAttribute('data-points', String(data.length));
    if (!data.length) { box.textContent = 'No readings in this period.'; box.className = 'empty'; return null; }
    box.className = 'graph';
    box.textContent = '';
    return new Dygraph(box, data, {labels: ['Time', label], customBars: step !== 'raw', stepPlot: !!stepPlot,
      drawPoints: data.length < 200, strokeWidth: 1.5, legend: 'follow', ylabel: yUnit || '',
      animatedZooms: false, connectSeparatedPoints: false});
  }
  function show(range) {
    var r = ranges[range];
    document.querySelectorAll('nav button').forEach(function (b) { b.disabled = b.value === range; });
    get(url(code, r[0], r[1])).then(function (j) {
      if (j.error) { document.getElementById('graph').textContent = j.error; return; }
      var switchLike = j.rows.some(function (row) { return row.state === 'ON' || row.state === 'OFF'; });
      if (graph) graph.destroy();
      graph = draw('graph', points(j.rows, r[1]), r[1], j.type || code, switchLike, j.unit || unit);
    });
  }
  document.querySelectorAll('nav button').forEach(function (b) { b.onclick = function () { show(b.value); }; });
  show('day');
  // Battery: the level record beside the sensor's (CODE_L), over the year.
  get(url(code + '_L', 366 * 86400, 'hour')).then(function (j) {
    if (!j.rows || !j.rows.length) return;
    document.getElementById('battery-box').hidden = false;
    draw('battery', points(j.rows, 'hour'), 'hour', 'Battery', false, j.unit || '%');
  });
  // State changes of the last week, newest first.
  get(url(code, 7 * 86400, 'raw')).then(function (j) {
    var list = document.getElementById('changes');
    var rows = (j.rows || []).filter(function (r) { return r.state; });
    var last = null, shown = 0;
    var items = [];
    rows.forEach(function (r) { if (r.state !== last) { items.push(r); last = r.state; } });
    items.reverse().slice(0, 200).forEach(function (r) {
      var li = document.createElement('li');
      li.textContent = r.time.replace('T', ' ').slice(0, 19) + '  ' + r.state;
      list.appendChild(li);
      shown++;
    });
    document.getElementById('changes-box').hidden = shown === 0;
  });
})();
)JS";

}  // namespace

std::string devicePage(const std::string& code, const DevicePageInfo& info) {
  const std::string shownCode = util::upper(code);
  std::string out;
  out.reserve(6000);
  out += "<!DOCTYPE html><html><head><meta charset='utf-8'>"
         "<meta name='viewport' content='width=device-width, initial-scale=1'>"
         "<title>" + htmlEscape(shownCode) + " - Quillon</title>"
         "<link rel='stylesheet' href='/js/dygraph.min.css'>"
         "<style>body{font-family:sans-serif;margin:0.8em;max-width:60em}"
         ".graph{width:100%;height:300px}#battery.graph{height:160px}.empty{color:#666;padding:1em 0}"
         "nav button{font-size:1em;padding:0.4em 0.9em;margin:0 0.3em 0.5em 0}"
         "dl{display:grid;grid-template-columns:max-content auto;gap:0.2em 1em}dd{margin:0}"
         "#changes{font-family:monospace;padding-left:1.2em;max-height:20em;overflow-y:auto}</style>"
         "</head><body data-code='" + htmlEscape(shownCode) + "' data-unit='" + htmlEscape(info.unit) + "'>"
         "<p><a href='/status'>&larr; Status</a></p><h1>" + htmlEscape(shownCode);
  if (info.device && !info.device->location().empty()) out += " &ndash; " + htmlEscape(info.device->location());
  out += "</h1><dl>";
  if (info.device) {
    out += "<dt>Type</dt><dd>" + htmlEscape(info.device->state().type) + "</dd>";
    out += "<dt>Value</dt><dd id='value'>" + htmlEscape(info.device->state().text) +
           (info.unit.empty() ? "" : " " + htmlEscape(info.unit)) + "</dd>";
  } else {
    out += "<dt>Device</dt><dd>not known to the node now</dd>";
  }
  if (info.sighting) {
    out += "<dt>Last seen</dt><dd id='last-seen'>" + htmlEscape(devices::isoDateTime(info.sighting->lastSeen)) + "</dd>";
    out += "<dt>First seen</dt><dd>" + htmlEscape(devices::isoDateTime(info.sighting->firstSeen)) + "</dd>";
    out += "<dt>Packets</dt><dd>" + std::to_string(info.sighting->count) + "</dd>";
  }
  out += "</dl>";
  if (!info.historyOn) {
    out += "<p>History is turned off (HistoryEnabled in section [W800] of Quillon.ini).</p></body></html>";
    return out;
  }
  out += "<nav><button value='day'>24 hours</button><button value='week'>7 days</button>"
         "<button value='year'>1 year</button></nav>"
         "<div id='graph' class='graph'>Loading&hellip;</div>"
         "<p><small>Drag across the graph to zoom in, double-click to zoom out. "
         "<a href='/api/history?code=" + htmlEscape(shownCode) + "&amp;format=csv'>CSV of the last day</a></small></p>"
         "<section id='battery-box' hidden><h2>Battery</h2><div id='battery' class='graph'></div></section>"
         "<section id='changes-box' hidden><h2>State changes (7 days)</h2><ol id='changes' reversed></ol></section>"
         "<script src='/js/dygraph.min.js'></script><script>";
  out += kScript;
  out += "</script></body></html>";
  return out;
}

}  // namespace quillon::web
