// The history's place in the node: a replaced sensor's history moves to its new code, and the
// web server answers the device pages, the history export and the charting library's files.
#include "app/node_assembly.h"
#include "devices/device_json.h"
#include "history/history_export.h"
#include "history/local_time.h"
#include "util/text.h"
#include "web/device_page.h"

namespace quillon::app {

void NodeAssembly::wireHistory() {
  lifecycle_.setReplacedHook([this](const std::string& oldCode, const std::string& newCode) {
    history_.moveCode(oldCode, newCode);
  });
  http_.addRoute([this](const std::string& path, const http::Request& request, http::RouteReply& reply) {
    if (path == "\\api\\history") {
      const history::ExportAnswer a = history::historyExport(
          history_, [&request](std::string_view key) { return request.queryString(key); },
          request.serverVariables("Accept"), history::utcMsOfLocal(ctx_.now()));
      reply = {a.status, a.contentType, a.body};
      return true;
    }
    if (path == "\\device") {
      const std::string code = request.queryString("code");
      reply.contentType = "text/html; charset=utf-8";
      if (code.empty() || code.size() > 64) {
        reply.status = 400;
        reply.body = "<html><h1>400 Bad Request</h1><p>The page needs a device code: /device?code=A1</p></html>";
        return true;
      }
      web::DevicePageInfo info;
      info.device = registry_.device(code);
      info.sighting = lifecycle_.sighting(code);
      info.historyOn = ctx_.settings.historyEnabled;
      if (info.device) info.unit = devices::valueUnit(info.device->state().type, ctx_.settings.metric);
      reply.body = web::devicePage(code, info);
      return true;
    }
    if (chartLibrary_.file(path, reply.body, reply.contentType)) {
      if (reply.body.empty()) {
        reply.status = 404;
        reply.contentType = "text/plain; charset=utf-8";
        reply.body = "The charting library is missing: install libjs-dygraphs";
      }
      return true;
    }
    return false;
  });
}

script::HistoryFn NodeAssembly::historyForScripts() {
  return [this](const std::string& code, const util::DateTime& from, const util::DateTime& to, const std::string& step,
                std::vector<script::HistoryRow>& rows, std::string& error) {
    const std::string s = util::lower(step);
    if (s != "raw" && s != "hour" && s != "day") {
      error = "the step is raw, hour or day, not " + step;
      return false;
    }
    std::vector<history::Point> points;
    if (!history_.query(code, history::utcMsOfLocal(from), history::utcMsOfLocal(to),
                        s == "raw" ? history::Step::Raw : s == "hour" ? history::Step::Hour : history::Step::Day,
                        history::HistoryRecorder::kMaxRows, points, error))
      return false;
    rows.clear();
    for (const history::Point& p : points) rows.push_back({history::localOfUtcMs(p.tMs), p.value, p.state});
    return true;
  };
}

}  // namespace quillon::app
