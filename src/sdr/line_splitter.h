#pragma once
// Cuts a byte stream into lines. A line longer than the limit is dropped whole (and counted), so
// a stream without newlines never makes the buffer grow past the limit.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace quillon::sdr {

class LineSplitter {
 public:
  explicit LineSplitter(std::size_t maxLine) : max_(maxLine) {}
  // Calls `line` for every complete line in the bytes (without "\n" or a trailing "\r").
  void feed(std::string_view bytes, const std::function<void(std::string_view)>& line);
  // Forgets a partial line (the stream ended or was reopened).
  void reset() {
    partial_.clear();
    skipping_ = false;
  }
  std::uint64_t oversize() const { return oversize_; }

 private:
  std::size_t max_;
  std::string partial_;
  bool skipping_ = false;  // inside a line already over the limit: dropped up to its newline
  std::uint64_t oversize_ = 0;
};

}  // namespace quillon::sdr
