#include "sdr/line_splitter.h"

namespace quillon::sdr {

void LineSplitter::feed(std::string_view bytes, const std::function<void(std::string_view)>& line) {
  while (!bytes.empty()) {
    const std::size_t nl = bytes.find('\n');
    const std::string_view piece = bytes.substr(0, nl);
    if (!skipping_) {
      if (partial_.size() + piece.size() > max_) {
        partial_.clear();
        skipping_ = true;
        ++oversize_;
      } else if (nl != std::string_view::npos && partial_.empty()) {
        std::string_view whole = piece;  // the common case: a whole line in one read, not copied
        if (!whole.empty() && whole.back() == '\r') whole.remove_suffix(1);
        line(whole);
      } else {
        partial_.append(piece);
        if (nl != std::string_view::npos) {
          std::string done;
          done.swap(partial_);
          if (!done.empty() && done.back() == '\r') done.pop_back();
          line(done);
        }
      }
    }
    if (nl == std::string_view::npos) return;
    skipping_ = false;
    bytes.remove_prefix(nl + 1);
  }
}

}  // namespace quillon::sdr
