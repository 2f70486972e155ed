#include "http/page_body.h"

#include <cstdint>
#include <cstdio>

#include "http/gzip.h"

namespace quillon::http {

std::shared_ptr<const std::string> PageBody::gzipped() const {
  if (!gzipTried_) {
    gzipTried_ = true;
    std::string packed = gzipCompress(*text_);
    if (!packed.empty()) gzipped_ = std::make_shared<const std::string>(std::move(packed));
  }
  return gzipped_;
}

std::string contentTag(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  char tag[40];
  std::snprintf(tag, sizeof tag, "\"%zx-%016llx\"", text.size(), static_cast<unsigned long long>(h));
  return tag;
}

}  // namespace quillon::http
