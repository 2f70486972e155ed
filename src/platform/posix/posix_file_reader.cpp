#include "platform/posix/posix_file_reader.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::platform {

bool PosixFileReader::open(const std::string& path) {
  close();
  // O_NONBLOCK: opening a pipe without a writer does not wait, and reads never block the loop.
  fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  struct stat st {};
  pipe_ = ::fstat(fd_, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode) || S_ISCHR(st.st_mode));
  error_.clear();
  return true;
}

void PosixFileReader::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

FileReader::Result PosixFileReader::read(std::string& out, std::size_t max) {
  if (fd_ < 0) return Result::Error;
  const std::size_t at = out.size();
  out.resize(at + max);
  const ssize_t n = ::read(fd_, out.data() + at, max);
  if (n > 0) {
    out.resize(at + static_cast<std::size_t>(n));
    return Result::Data;
  }
  out.resize(at);
  if (n == 0) return Result::End;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Result::Again;
  error_ = std::strerror(errno);
  return Result::Error;
}

}  // namespace quillon::platform
