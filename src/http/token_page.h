#pragma once
// A shared page whose forms carry a per-session token, answered to each session without copying
// the page or compressing it again: the text between the token marks is held once, and so is
// its gzip form, compressed in pieces that each end on a full flush; a session's answer is the
// shared pieces with its token between them (for gzip: its token compressed alone, the header,
// an empty final block and a trailer whose CRC is combined from the pieces').
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/page_body.h"

namespace quillon::http {

using Piece = std::shared_ptr<const std::string>;

struct SplicedBody {
  std::vector<Piece> pieces;
  std::size_t size = 0;
};

class TokenPage {
 public:
  explicit TokenPage(PageBodyPtr page);

  const PageBodyPtr& page() const { return page_; }
  // The page's entity tag for a session: the shared page's and the token's.
  std::string tag(const std::string& token) const;
  SplicedBody plain(const std::string& token) const;
  // Empty pieces when zlib fails.
  SplicedBody gzipped(const std::string& token) const;

 private:
  struct Part {
    Piece text;
    Piece deflated;  // raw deflate ending on a full flush
    std::uint32_t crc = 0;
  };
  PageBodyPtr page_;
  mutable std::vector<Part> parts_;  // compressed the first time a client takes gzip
  mutable bool deflated_ = false, deflateFailed_ = false;
};

}  // namespace quillon::http
