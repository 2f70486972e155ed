#include "http/request.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "util/text.h"

namespace quillon::http {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
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

std::string decode(std::string_view text, bool plusIsBlank) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+' && plusIsBlank) {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
               hexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

void addKeyValues(std::string_view text, PairCollection& collection) {
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view part = text.substr(0, amp);
    const std::size_t eq = part.find('=');
    KeyValuePair pair{decode(part.substr(0, eq)), eq == std::string_view::npos ? "" : decode(part.substr(eq + 1))};
    if (!pair.key.empty()) {
      std::string key = pair.key;
      collection.insert(key, std::move(pair));
    }
    if (amp == std::string_view::npos) break;
    text.remove_prefix(amp + 1);
  }
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
  const std::string_view line = std::string_view(raw).substr(0, p);
  const std::size_t sp = line.find(' ');
  if (sp == std::string::npos) return;
  method_ = line.substr(0, sp);
  const std::size_t h = line.rfind(' ');
  if (h <= sp) {  // "GET HTTP/1.1": no room for a path between the two blanks
    if (log_) log_("ParsePage: no path in " + std::string(line.substr(0, 200)));
    return;
  }
  // The target is split at "?", "&" and "=" first and each part decoded after, so that an
  // escaped separator is text and an escape is decoded once.
  const std::string_view target = line.substr(sp + 1, h - sp - 1);
  const std::size_t q = target.find('?');
  page_ = decode(target.substr(0, q), false);
  if (q != std::string_view::npos) addKeyValues(target.substr(q + 1), query_);
  const std::size_t e = raw.find("\r\n\r\n", p);
  const std::string fields = raw.substr(p + 2, e == std::string::npos ? std::string::npos : e - p - 2);
  for (const std::string& field : util::split(fields, "\r\n")) {
    const std::size_t colon = field.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    headers_.insert(util::trim(field.substr(0, colon)), util::trim(field.substr(colon + 1)));
  }
  if (e != std::string::npos && e + 4 < raw.size()) addPostData(raw.substr(e + 4));
}

void Request::addPostData(const std::string& data) {
  payload_ += data;
  bodyLength_ += data.size();
}

// Only a POST's body is a form: a body sent with any other method changes nothing.
void Request::flushRequest() {
  if (method_ == "POST" && !formParsed_) addKeyValues(payload_, form_);
  formParsed_ = true;
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
