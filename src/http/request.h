#pragma once
// One parsed HTTP request: request line, headers, query string and form fields, with the body of
// a POST gathered from later packets. The parsing keeps the node's historical quirks (decoding of
// the whole request line, upper-case escapes only, values cut at a second "="), which pages rely on.
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

// URL decoding: "+" is a blank, "%" and two upper-case hexadecimal digits a byte; a code below 32
// (a digit that is not one counts as -1, a missing one as 0) becomes a blank.
std::string decode(std::string_view text);
// Files the "name=value" pairs of text split at "&" (a value ends at a second "="; a pair without
// "=" has the value "") and returns the unfinished text after the last "&".
std::string addKeyValues(std::string_view text, PairCollection& collection);
// Standard Base64 (RFC 4648) with "=" padding; CR and LF are ignored. Anything that is not whole
// groups of four valid characters gives "".
std::string base64Decode(std::string_view text);

class Request {
 public:
  using LogSink = std::function<void(const std::string&)>;
  explicit Request(LogSink log = {}) : log_(std::move(log)) {}

  // Parses the first packet of a request.
  void parsePage(const std::string& raw);
  // A later packet of a POST body.
  void addPostData(const std::string& data);
  // Files the pending last pairs of the form and the query string.
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
  const std::string& payload() const { return payload_; }
  const std::string& header() const { return header_; }
  const std::string& method() const { return method_; }
  std::size_t receivedBodyLength() const { return bodyLength_; }

 private:
  LogSink log_;
  PairCollection query_, form_;
  util::OrderedDict<std::string> headers_;
  std::string page_, payload_, header_, method_, remoteIp_;
  std::string pendingForm_, pendingQuery_;
  std::size_t bodyLength_ = 0;
};

}  // namespace quillon::http
