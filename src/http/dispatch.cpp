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
  // The status page takes its forms' posts; everything else is only read.
  const bool takesPost = startsWith(matchPath(request), "\\stat");
  if (head.method != "GET" && head.method != "HEAD" && !(takesPost && head.method == "POST")) {
    logRefusal(405, c.peer());
    response.sendRefusal(405, takesPost ? "Allow: GET, HEAD, POST\r\n" : "Allow: GET, HEAD\r\n");
    return;
  }
  if (!accessCheck(c, request, raw, response)) return;
  answer(request, response);
}

void HttpServer::answer(Request& request, Response& response) {
  const std::string path = matchPath(request);
  std::string ext = path.size() > 4 ? path.substr(path.size() - 4) : path;
  if (path.size() >= 3 && path.compare(path.size() - 3, 3, ".js") == 0) ext = ".js";
  ApiReply api;
  if (apiRoute_ && startsWith(path, "\\api\\") && apiRoute_(request.page(), api)) {
    response.sendJson(api.status, api.body);
  } else if (isBinaryExtension(ext)) {
    response.sendBinaryFile(path);
  } else if (ext == ".css") {
    response.sendTextFile(path);
  } else if (startsWith(path, "\\stat")) {
    if (statusPage_) response.sendPage(statusPage_(request, response));
    else response.sendTextString(placeholderStatusPage());
  } else if (startsWith(path, "\\help")) {
    response.sendTextString(helpPage());
  } else if (path == "\\") {
    response.sendMovedTo("/status");
  } else {
    response.sendErrorResponse();
  }
}

// True when the request may be answered. Otherwise it has been answered: with the login demand,
// or, for a client that has just logged in, with the request that drew the demand.
bool HttpServer::accessCheck(HttpConnection& c, Request& request, const std::string& raw, Response& response) {
  const std::string& client = request.remoteIp();
  if (authorisedClients_.contains(client)) return true;
  refreshLogin();
  if (webLoginUser_.empty()) return true;
  const std::string& local = c.localAddress();
  if (std::size_t dot = local.rfind('.'); dot != std::string::npos) {
    if (local.substr(0, dot + 1) == client.substr(0, dot + 1)) return true;  // the server's own /24
  }
  const std::string authorization = request.serverVariables("Authorization");
  if (!authorization.empty()) {
    const std::size_t sp = authorization.find(' ');
    const std::string credentials = sp == std::string::npos ? authorization : authorization.substr(sp + 1);
    if (base64Decode(credentials) != webLoginUser_ + ":" + webLoginPassword_) {
      response.authenticate();
      return false;
    }
    authorisedClients_.insert(client, client);
    // The request that drew the login demand is answered now, but only for the client that made it;
    // with nothing saved for this client the request itself is answered.
    if (savedRequest_.empty() || savedRequestClient_ != client) return true;
    const std::string saved = std::exchange(savedRequest_, std::string());
    Request replay([this](const std::string& text) { ctx_.logEvent(text); });
    replay.setRemoteIp(client);
    const std::size_t headEnd = saved.find("\r\n\r\n");
    replay.parsePage(saved.substr(0, headEnd + 4));
    if (headEnd + 4 < saved.size()) replay.addPostData(saved.substr(headEnd + 4));
    replay.flushRequest();
    answer(replay, response);
    return false;
  }
  savedRequest_ = raw;
  savedRequestClient_ = client;
  response.authenticate();
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
