#pragma once
// The file reader over a non-blocking descriptor (plain files and named pipes alike).
#include "platform/child_process.h"

namespace quillon::platform {

class PosixFileReader : public FileReader {
 public:
  ~PosixFileReader() override { close(); }
  bool open(const std::string& path) override;
  void close() override;
  Result read(std::string& out, std::size_t max) override;
  std::string error() const override { return error_; }
  bool isPipe() const override { return pipe_; }

 private:
  int fd_ = -1;
  bool pipe_ = false;
  std::string error_;
};

}  // namespace quillon::platform
