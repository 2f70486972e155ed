#pragma once
// One parsed HTTP request: request line, headers, query string and, for a POST, the form fields of
// its body. Names and values are split out before they are decoded, so typed text such as
// "Tom & Jerry" or "a=b" arrives as typed.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "util/ordered_dict.h"

namespace quillon::http {

struct KeyValuePair {
  std::string key;
  std::string value;
};

// Keys compare without regard to letter case; the first pair of a key is kept.
using PairCollection = util::OrderedDict<KeyValuePair>;

// Percent-decoding of one name, value or path: "%" and two hexadecimal digits (either case) are
// a byte, "+" a blank where plusIsBlank; anything else, a stray "%" too, stays as it is.
std::string decode(std::string_view text, bool plusIsBlank = true);
// Files the "name=value" pairs of text: split at "&", each at its first "=", then both decoded.
// A pair without "=" has the value ""; a pair without a name is dropped.
void addKeyValues(std::string_view text, PairCollection& collection);
// Standard Base64 (RFC 4648) with "=" padding; CR and LF are ignored. Anything that is not whole
// groups of four valid characters gives "".
std::string base64Decode(std::string_view text);

class Request {
 public:
  using LogSink = std::function<void(const std::string&)>;
  explicit Request(LogSink log = {}) : log_(std::move(log)) {}

  // Parses the request head and whatever of the body follows it.
  void parsePage(const std::string& raw);
  // More of the body.
  void addPostData(const std::string& data);
  // The body is whole: a POST's form fields are filed.
  void flushRequest();
  // The body has arrived: Content-Length is at most the body length received.
  bool postDataComplete() const;

  // A header by name; "http_user_agent" and "remote_addr" (the Host header without its port) are
  // the two server variables that are not plain header names.
  std::string serverVariables(std::string_view name) const;
  std::string queryString(std::string_view key) const;
  std::string form(std::string_view key) const;
  const PairCollection& queryStringCol() const { return query_; }
  const PairCollection& formCol() const { return form_; }
  const util::OrderedDict<std::string>& headers() const { return headers_; }

  void setRemoteIp(std::string ip) { remoteIp_ = std::move(ip); }
  const std::string& remoteIp() const { return remoteIp_; }
  const std::string& page() const { return page_; }
  const std::string& method() const { return method_; }

 private:
  LogSink log_;
  PairCollection query_, form_;
  util::OrderedDict<std::string> headers_;
  std::string page_, payload_, method_, remoteIp_;
  bool formParsed_ = false;
  std::size_t bodyLength_ = 0;
};

}  // namespace quillon::http
