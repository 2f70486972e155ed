#include "http/request_parser.h"

#include <cctype>

#include "util/text.h"

namespace quillon::http {
namespace {

bool isTokenChar(char c) {
  const auto u = static_cast<unsigned char>(c);
  if (std::isalnum(u)) return true;
  return std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
}

bool isToken(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!isTokenChar(c)) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// True when the comma-separated list holds the token (any letter case).
bool listHas(std::string_view list, std::string_view token) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    if (util::iequals(std::string(trim(list.substr(0, comma))), std::string(token))) return true;
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return false;
}

}  // namespace

int parseHead(std::string_view buffer, const HeadLimits& limits, RequestHead& head) {
  std::size_t start = 0;  // a client may send empty lines between requests
  while (buffer.substr(start, 2) == "\r\n") start += 2;
  const std::size_t lineEnd = buffer.find("\r\n", start);
  if (lineEnd == std::string_view::npos) {
    // No line end yet: a line longer than any method and version allow around the longest target.
    if (buffer.size() - start > limits.maxUri + 32) return 414;
    return 0;
  }
  const std::string_view line = buffer.substr(start, lineEnd - start);
  const std::size_t sp1 = line.find(' '), sp2 = line.rfind(' ');
  if (sp1 == std::string_view::npos || sp2 == sp1) return 400;
  const std::string_view target = line.substr(sp1 + 1, sp2 - sp1 - 1);
  if (target.size() > limits.maxUri) return 414;
  const std::string_view method = line.substr(0, sp1), version = line.substr(sp2 + 1);
  if (!isToken(method) || target.empty() || target.find(' ') != std::string_view::npos) return 400;
  if (version.size() != 8 || version.substr(0, 5) != "HTTP/" || !std::isdigit(static_cast<unsigned char>(version[5])) ||
      version[6] != '.' || !std::isdigit(static_cast<unsigned char>(version[7])))
    return 400;
  if (version[5] != '1') return 505;

  const std::size_t end = buffer.find("\r\n\r\n", lineEnd);
  if (end == std::string_view::npos) return buffer.size() - start > limits.maxHead ? 431 : 0;
  if (end + 4 - start > limits.maxHead) return 431;

  head = RequestHead{};
  head.method = method;
  head.target = target;
  head.version = version;
  head.skipped = start;
  head.headBytes = end + 4;
  const bool http10 = version == "HTTP/1.0";
  bool close = false, keepAlive = false, haveLength = false;
  for (std::size_t from = lineEnd + 2; from < end + 2;) {
    const std::size_t eol = buffer.find("\r\n", from);
    const std::string_view field = buffer.substr(from, eol - from);
    from = eol + 2;
    const std::size_t colon = field.find(':');
    // A folded line, or a name with blanks or without a colon, is not a header we can read safely.
    if (colon == std::string_view::npos || !isToken(field.substr(0, colon))) return 400;
    const std::string name = util::lower(field.substr(0, colon));
    const std::string_view value = trim(field.substr(colon + 1));
    if (name == "content-length") {
      std::size_t n = 0;
      if (value.empty() || value.size() > 15) return value.empty() ? 400 : 413;
      for (char c : value) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 400;
        n = n * 10 + static_cast<std::size_t>(c - '0');
      }
      if (haveLength && n != head.contentLength) return 400;  // two lengths: the body's end is unknown
      haveLength = true;
      head.contentLength = n;
    } else if (name == "transfer-encoding") {
      return 501;
    } else if (name == "connection") {
      close = close || listHas(value, "close");
      keepAlive = keepAlive || listHas(value, "keep-alive");
    } else if (name == "if-none-match") {
      head.ifNoneMatch = value;
    } else if (name == "accept-encoding") {
      head.acceptEncoding = value;
    }
  }
  if (head.contentLength > limits.maxBody) return 413;
  head.keepAlive = !close && (!http10 || keepAlive);
  return 200;
}

const char* reasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 404: return "Not Found";
    case 403: return "Forbidden";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
  }
}

}  // namespace quillon::http
