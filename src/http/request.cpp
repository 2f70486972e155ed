#include "http/request.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "util/text.h"

namespace quillon::http {
namespace {

int hexDigit(std::string_view text, std::size_t pos) {
  if (pos >= text.size()) return 0;
  static constexpr std::string_view kDigits = "0123456789ABCDEF";
  std::size_t d = kDigits.find(text[pos]);
  return d == std::string_view::npos ? -1 : static_cast<int>(d);
}

int base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string decode(std::string_view text) {
  std::string in = util::replaceAll(text, "+", " ");
  std::string out;
  out.reserve(in.size());
  std::size_t from = 0;
  for (std::size_t p = in.find('%'); p != std::string::npos; p = in.find('%', from)) {
    int value = 16 * hexDigit(in, p + 1) + hexDigit(in, p + 2);
    if (value < 32) value = 32;
    out.append(in, from, p - from);
    out += static_cast<char>(static_cast<unsigned char>(value));
    from = std::min(p + 3, in.size());
  }
  out.append(in, from, std::string::npos);
  return out;
}

std::string addKeyValues(std::string_view text, PairCollection& collection) {
  if (text.empty()) return {};
  std::vector<std::string> parts = util::split(text, "&");
  for (std::size_t n = 0; n + 1 < parts.size(); ++n) {
    const std::string& part = parts[n];
    std::size_t eq = part.find('=');
    KeyValuePair pair;
    pair.key = part.substr(0, eq);
    if (eq != std::string::npos) pair.value = part.substr(eq + 1, part.find('=', eq + 1) - eq - 1);
    std::string key = pair.key;
    collection.insert(key, std::move(pair));
  }
  return parts.back();
}

std::string base64Decode(std::string_view text) {
  std::string in;
  for (char c : text)
    if (c != '\r' && c != '\n') in += c;
  if (in.size() % 4 != 0) return {};
  std::string out;
  for (std::size_t g = 0; g < in.size(); g += 4) {
    const bool last = g + 4 == in.size();
    int pad = 0;
    if (last && in[g + 3] == '=') pad = in[g + 2] == '=' ? 2 : 1;
    std::uint32_t bits = 0;
    for (int k = 0; k < 4; ++k) {
      int v = k >= 4 - pad ? 0 : base64Value(in[g + k]);
      if (v < 0) return {};
      bits = bits << 6 | static_cast<std::uint32_t>(v);
    }
    out += static_cast<char>(bits >> 16 & 0xFF);
    if (pad < 2) out += static_cast<char>(bits >> 8 & 0xFF);
    if (pad < 1) out += static_cast<char>(bits & 0xFF);
  }
  return out;
}

void Request::parsePage(const std::string& raw) {
  const std::size_t p = raw.find("\r\n");
  if (p == std::string::npos) return;
  const std::string line = decode(std::string_view(raw).substr(0, p));
  const std::size_t sp = line.find(' ');
  if (sp == std::string::npos) return;
  method_ = line.substr(0, sp);
  const std::size_t h = line.find("HTTP", sp);
  if (h == std::string::npos) return;
  if (h >= sp + 2) {
    page_ = decode(std::string_view(line).substr(sp + 1, h - sp - 2));
  } else if (log_) {  // "GET HTTP/1.1": no room for a path between the two blanks
    log_("ParsePage i=" + std::to_string(p + 1) + ",j=" + std::to_string(h + 1) + ",len=" +
         std::to_string(raw.size()) + ", Data=" + raw.substr(0, 200));
  }
  if (std::size_t q = page_.find('?'); q != std::string::npos) {
    pendingQuery_ = addKeyValues(std::string_view(page_).substr(q + 1), query_);
    page_.erase(q);
  }
  payload_.clear();
  // The decoded line's position is used in the raw text, as the parser always has: the header
  // block may start a little early when escapes shortened the line; its first line is skipped.
  const std::size_t start = std::min(h, raw.size());
  const std::size_t e = raw.find("\r\n\r\n", start);
  if (e != std::string::npos) {
    header_ = raw.substr(start, e - start);
    if (raw.size() - (e + 4) > 2) {
      if (method_ == "POST") method_ = "POSTx";
      const std::string body = raw.substr(e + 4);
      payload_ = decode(util::replaceAll(body, "\r\n", ""));
      pendingForm_ = addKeyValues(payload_, form_);
      bodyLength_ += body.size();
    }
  } else {
    header_ = raw.substr(start);
  }
  const std::vector<std::string> lines = util::split(header_, "\r\n");
  for (std::size_t n = 1; n < lines.size(); ++n) {
    std::vector<std::string> kv = util::split(lines[n], ": ");
    if (kv.size() == 2) headers_.insert(kv[0], kv[1]);
  }
}

void Request::addPostData(const std::string& data) {
  bodyLength_ += data.size();
  pendingForm_ = addKeyValues(pendingForm_ + decode(data), form_);
}

void Request::flushRequest() {
  if (!pendingForm_.empty()) addKeyValues(pendingForm_ + "&", form_);
  if (!pendingQuery_.empty()) addKeyValues(pendingQuery_ + "&", query_);
  pendingForm_.clear();
  pendingQuery_.clear();
}

bool Request::postDataComplete() const {
  return util::leadingNumber(serverVariables("Content-Length")) <= static_cast<double>(bodyLength_);
}

std::string Request::serverVariables(std::string_view name) const {
  const std::string key = util::lower(name);
  if (key == "http_user_agent") return serverVariables("User-Agent");
  if (key == "remote_addr") {
    std::string host = serverVariables("Host");
    return host.substr(0, host.find(':'));
  }
  const std::string* v = headers_.find(key);
  return v ? *v : std::string();
}

std::string Request::queryString(std::string_view key) const {
  const KeyValuePair* p = query_.find(key);
  return p ? p->value : std::string();
}

std::string Request::form(std::string_view key) const {
  const KeyValuePair* p = form_.find(key);
  return p ? p->value : std::string();
}

}  // namespace quillon::http
