#include "http/token_page.h"

#include <zlib.h>

#include <cstdio>

#include "http/sessions.h"

namespace quillon::http {
namespace {

// Raw deflate of text ending on a full flush (byte-aligned, no reference to what came before),
// so that pieces compressed apart join into one stream; empty on failure.
std::string deflatePiece(const std::string& text) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return "";
  std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FULL_FLUSH);
  const std::size_t n = out.size() - z.avail_out;
  deflateEnd(&z);
  if (rc != Z_OK || z.avail_in != 0) return "";
  out.resize(n);
  return out;
}

std::uint32_t crcOf(const std::string& text) {
  return static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(text.data()), static_cast<uInt>(text.size())));
}

}  // namespace

TokenPage::TokenPage(PageBodyPtr page) : page_(std::move(page)) {
  const std::string& text = *page_->text();
  std::size_t from = 0;
  for (std::size_t at = text.find(kTokenMark); at != std::string::npos; at = text.find(kTokenMark, from)) {
    parts_.push_back({std::make_shared<const std::string>(text.substr(from, at - from)), nullptr, 0});
    from = at + kTokenMark.size();
  }
  parts_.push_back({std::make_shared<const std::string>(text.substr(from)), nullptr, 0});
}

std::string TokenPage::tag(const std::string& token) const {
  const std::string shared = page_->tag();
  const std::string mine = contentTag(token);
  return shared.substr(0, shared.size() - 1) + "-" + mine.substr(1);
}

SplicedBody TokenPage::plain(const std::string& token) const {
  SplicedBody out;
  const Piece t = std::make_shared<const std::string>(token);
  for (std::size_t i = 0; i < parts_.size(); ++i) {
    if (i > 0) out.pieces.push_back(t);
    out.pieces.push_back(parts_[i].text);
  }
  out.size = page_->text()->size() - (parts_.size() - 1) * (kTokenMark.size() - token.size());
  return out;
}

SplicedBody TokenPage::gzipped(const std::string& token) const {
  if (!deflated_) {
    deflated_ = true;
    for (Part& p : parts_) {
      std::string d = deflatePiece(*p.text);
      if (d.empty() && !p.text->empty()) deflateFailed_ = true;
      p.deflated = std::make_shared<const std::string>(std::move(d));
      p.crc = crcOf(*p.text);
    }
  }
  if (deflateFailed_) return {};
  const std::string deflatedToken = deflatePiece(token);
  if (deflatedToken.empty()) return {};
  const Piece t = std::make_shared<const std::string>(deflatedToken);
  const std::uint32_t tokenCrc = crcOf(token);
  SplicedBody out;
  // gzip header: magic, deflate, no flags, no time, no extra flags, unknown system.
  out.pieces.push_back(std::make_shared<const std::string>(std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\xff", 10)));
  uLong crc = 0;
  std::uint64_t length = 0;
  for (std::size_t i = 0; i < parts_.size(); ++i) {
    if (i > 0) {
      out.pieces.push_back(t);
      crc = crc32_combine(crc, tokenCrc, static_cast<z_off_t>(token.size()));
      length += token.size();
    }
    out.pieces.push_back(parts_[i].deflated);
    crc = crc32_combine(crc, parts_[i].crc, static_cast<z_off_t>(parts_[i].text->size()));
    length += parts_[i].text->size();
  }
  std::string trailer("\x03\x00", 2);  // an empty final block with fixed codes
  for (int i = 0; i < 4; ++i) trailer += static_cast<char>((crc >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) trailer += static_cast<char>((length >> (8 * i)) & 0xFF);
  out.pieces.push_back(std::make_shared<const std::string>(std::move(trailer)));
  for (const Piece& p : out.pieces) out.size += p->size();
  return out;
}

}  // namespace quillon::http
