#pragma once
// gzip for text answers: whether a client takes it, and the compressed bytes.
#include <string>
#include <string_view>

namespace quillon::http {

// True when Accept-Encoding lists gzip (or "*") without q=0.
bool acceptsGzip(std::string_view acceptEncoding);
// The bytes as one gzip member; empty when zlib fails.
std::string gzipCompress(std::string_view bytes);

}  // namespace quillon::http
