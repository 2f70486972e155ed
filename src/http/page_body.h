#pragma once
// A body the server hands to many clients: a cached page or file held once in memory, with its
// entity tag and its gzip form, compressed the first time a client takes gzip and then shared.
#include <memory>
#include <string>

namespace quillon::http {

class PageBody {
 public:
  // tag: the quoted entity tag ("" for none).
  PageBody(std::string text, std::string tag) : text_(std::make_shared<const std::string>(std::move(text))), tag_(std::move(tag)) {}

  const std::shared_ptr<const std::string>& text() const { return text_; }
  const std::string& tag() const { return tag_; }
  // The text as one gzip member; null when zlib fails.
  std::shared_ptr<const std::string> gzipped() const;

 private:
  std::shared_ptr<const std::string> text_;
  std::string tag_;
  mutable std::shared_ptr<const std::string> gzipped_;
  mutable bool gzipTried_ = false;
};

using PageBodyPtr = std::shared_ptr<const PageBody>;

// A tag for generated text: a 64-bit FNV-1a of the bytes, so equal pages share a tag whichever
// render made them.
std::string contentTag(const std::string& text);

}  // namespace quillon::http
