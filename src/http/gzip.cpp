#include "http/gzip.h"

#include <algorithm>

#include <zlib.h>

#include "util/text.h"

namespace quillon::http {

bool acceptsGzip(std::string_view acceptEncoding) {
  const std::string list = util::lower(acceptEncoding);
  std::string_view rest = list;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const std::size_t semi = item.find(';');
    std::string_view coding = item.substr(0, semi), params = semi == std::string_view::npos ? "" : item.substr(semi + 1);
    while (!coding.empty() && coding.front() == ' ') coding.remove_prefix(1);
    while (!coding.empty() && coding.back() == ' ') coding.remove_suffix(1);
    if (coding != "gzip" && coding != "*") continue;
    // "q=0", "q=0.0", "q=0.000": refused; any other weight takes it.
    std::string q(params);
    q.erase(std::remove(q.begin(), q.end(), ' '), q.end());
    if (q.rfind("q=0", 0) == 0 && q.find_first_not_of("0.", 2) == std::string::npos) continue;
    return true;
  }
  return false;
}

std::string gzipCompress(std::string_view bytes) {
  z_stream z{};
  // 15 window bits plus 16: a gzip header and trailer instead of zlib's.
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return {};
  std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return result == Z_STREAM_END ? out : std::string();
}

}  // namespace quillon::http
