// The answer to one request: the methods a path takes, the client's access, then the page, the
// API route or the file by path.
#include <fstream>
#include <sstream>

#include "core/node_context.h"
#include "http/connection.h"
#include "http/http_server.h"
#include "http/response.h"
#include "util/text.h"

namespace quillon::http {
namespace {

bool startsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

bool isBinaryExtension(const std::string& ext) {
  return ext == ".jpg" || ext == ".gif" || ext == ".png" || ext == ".wmz" || ext == ".pdf";
}

// "/api" and everything under "/api/", as the dispatcher has the path.
bool isApiPath(const std::string& path) { return path == "\\api" || startsWith(path, "\\api\\"); }

// "/metrics" (any letter case), as the dispatcher has the path.
bool isMetricsPath(const std::string& path) { return path == "\\metrics"; }

// The request path as the dispatcher matches it: lower case, "\"-separated.
std::string matchPath(const Request& request) { return util::replaceAll(util::lower(request.page()), "/", "\\"); }

}  // namespace

void HttpServer::dispatch(HttpConnection& c, const RequestHead& head, const std::string& raw, Response& response) {
  Request request([this](const std::string& text) { ctx_.logEvent(text); });
  request.setRemoteIp(c.peer());
  const std::size_t headLength = head.headBytes - head.skipped;
  request.parsePage(raw.substr(0, headLength));
  if (raw.size() > headLength) request.addPostData(raw.substr(headLength));
  request.flushRequest();
  Visit visit;
  visit.path = matchPath(request);
  // The status page takes its forms' posts; everything else is only read.
  const bool takesPost = startsWith(visit.path, "\\stat");
  if (head.method != "GET" && head.method != "HEAD" && !(takesPost && head.method == "POST")) {
    logRefusal(405, c.peer());
    response.sendRefusal(405, takesPost ? "Allow: GET, HEAD, POST\r\n" : "Allow: GET, HEAD\r\n");
    return;
  }
  visit.session = sessions_.find(request.serverVariables("Cookie"), ctx_.platform.clock().monotonicMs());
  if (accessCheck(c, request, visit, response) && (head.method != "POST" || postAllowed(request, visit, response)))
    answer(request, response, visit);
  if (visit.isNew) response.addHeader(sessions_.setCookieLine(*visit.session));
}

WebSession& HttpServer::sessionFor(Visit& visit) {
  if (!visit.session) {
    visit.session = &sessions_.create(ctx_.platform.clock().monotonicMs());
    visit.isNew = true;
  }
  return *visit.session;
}

void HttpServer::answer(Request& request, Response& response, Visit& visit) {
  const std::string& path = visit.path;
  std::string ext = path.size() > 4 ? path.substr(path.size() - 4) : path;
  if (path.size() >= 3 && path.compare(path.size() - 3, 3, ".js") == 0) ext = ".js";
  RouteReply routed;
  for (const RouteFn& route : routes_)
    if (route(path, request, routed)) return response.sendText(routed.status, routed.contentType, routed.body);
  ApiReply api;
  if (apiRoute_ && isApiPath(path) && apiRoute_(request.page(), api)) {
    response.sendJson(api.status, api.body);
  } else if (isBinaryExtension(ext)) {
    response.sendBinaryFile(path);
  } else if (ext == ".css") {
    response.sendTextFile(path);
  } else if (startsWith(path, "\\stat")) {
    // The shared page gets this session's form token.
    if (!statusPage_) return response.sendTextString(placeholderStatusPage());
    PageBodyPtr page = statusPage_(request, response);
    if (!page || page->text()->find(kTokenMark) == std::string::npos) return response.sendPage(page);
    if (!tokenPage_ || tokenPage_->page() != page) tokenPage_ = std::make_shared<const TokenPage>(page);
    response.sendTokenPage(tokenPage_, sessionFor(visit).token);
  } else if (path == "\\events") {
    response.sendEventStream();
  } else if (startsWith(path, "\\help")) {
    response.sendTextString(helpPage());
  } else if (path == "\\") {
    response.sendMovedTo("/status");
  } else {
    response.sendErrorResponse();
  }
}

namespace {

// "host:port" of an Origin or Referer value ("http://host:port/path"), in lower case.
std::string hostOf(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t from = scheme == std::string::npos ? 0 : scheme + 3;
  return util::lower(url.substr(from, url.find('/', from) - from));
}

}  // namespace

bool HttpServer::postAllowed(const Request& request, const Visit& visit, Response& response) {
  const std::string host = util::lower(request.serverVariables("Host"));
  std::string from = request.serverVariables("Origin");
  if (from.empty()) from = request.serverVariables("Referer");
  if (!from.empty() && (from == "null" || hostOf(from) != host)) {
    logRefusal(403, request.remoteIp());
    ctx_.logEvent("HTTP POST from " + request.remoteIp() + " refused: it came from a page of " + from);
    response.sendRefusal(403);
    return false;
  }
  if (!visit.session || request.form("csrf") != visit.session->token) {
    logRefusal(403, request.remoteIp());
    response.sendRefusal(403, "", "This page is out of date or did not come from this node: nothing was changed. "
                                  "<a href='/status'>Open the page again</a> and repeat the change.");
    return false;
  }
  return true;
}

// True when the request may be answered. Otherwise it has been answered: with the login demand,
// or with 429 while the address waits after too many failed logins. Nothing is kept of a refused
// request: the client sends it again once logged in.
bool HttpServer::accessCheck(HttpConnection& c, Request& request, Visit& visit, Response& response) {
  refreshLogin();
  if (webLoginUser_.empty()) return true;
  const std::string& client = request.remoteIp();
  const std::string& local = c.localAddress();
  if (trustLocalNetwork_) {
    if (std::size_t dot = local.rfind('.'); dot != std::string::npos && local.substr(0, dot + 1) == client.substr(0, dot + 1))
      return true;  // the server's own /24
  }
  const std::string login = webLoginUser_ + ":" + webLoginPassword_;
  if (visit.session && visit.session->login == login) return true;
  const std::int64_t now = ctx_.platform.clock().monotonicMs();
  if (const std::int64_t wait = throttle_.waitFor(client, now); wait > 0) {
    logRefusal(429, client);
    response.sendRefusal(429, "Retry-After: " + std::to_string((wait + 999) / 1000) + "\r\n");
    return false;
  }
  const std::string authorization = request.serverVariables("Authorization");
  if (!authorization.empty()) {
    const std::size_t sp = authorization.find(' ');
    const std::string credentials = sp == std::string::npos ? authorization : authorization.substr(sp + 1);
    if (base64Decode(credentials) == login) {
      throttle_.succeeded(client);
      // A scraper sends its login with every request and keeps no cookie: no session for it.
      if (!isMetricsPath(visit.path)) sessionFor(visit).login = login;
      return true;
    }
    if (throttle_.failed(client, now))
      ctx_.logEvent("HTTP login from " + client + " failed " + std::to_string(LoginThrottle::kFreeFailures) +
                    " times: it waits before its next attempt");
  }
  // A program asking the API gets the demand as JSON, a scraper as text, a browser the page it
  // has always had.
  if (isApiPath(visit.path)) response.authenticateJson();
  else if (isMetricsPath(visit.path)) response.authenticateText();
  else response.authenticate();
  return false;
}

std::string HttpServer::helpPage() {
  const std::string shown = ctx_.paths.htmlDir() + "/Help/Quillon/Quillon.htm";
  std::optional<std::filesystem::path> file = webRoot_.find("\\help\\quillon\\quillon.htm");
  std::ifstream in;
  if (file) in.open(*file, std::ios::binary);
  if (!in.is_open()) return "Sorry, Help from " + shown + " is not available";
  std::ostringstream text;
  text << in.rdbuf();
  const std::string doc = text.str();
  static constexpr std::string_view kParts = "Quillon_files";
  std::string out;
  std::size_t from = 0;
  for (std::size_t p = util::ifind(doc, kParts); p != std::string::npos; p = util::ifind(doc, kParts, from)) {
    out.append(doc, from, p - from);
    out += "help/Quillon/Quillon_files";
    from = p + kParts.size();
  }
  out.append(doc, from, std::string::npos);
  return out;
}

}  // namespace quillon::http
