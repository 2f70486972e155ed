#include "platform/posix/posix_serial_port.h"

#include <fcntl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillon::platform {
namespace {

speed_t speedOf(int baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B4800;
  }
}

std::string errnoText(int e) { return std::strerror(e); }

}  // namespace

PosixSerialPort::PosixSerialPort(WatcherFactory watchers) : watchers_(std::move(watchers)) {}

PosixSerialPort::~PosixSerialPort() { close(); }

bool PosixSerialPort::configure(int fd, int baudRate) {
  termios t{};
  if (::tcgetattr(fd, &t) != 0) return false;
  ::cfmakeraw(&t);
  t.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE | CRTSCTS);
  t.c_cflag |= CS8 | CLOCAL | CREAD;
  t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  // VMIN 1: a read with nothing waiting fails with EAGAIN instead of returning 0, so 0 always
  // means the end of the stream.
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  ::cfsetispeed(&t, speedOf(baudRate));
  ::cfsetospeed(&t, speedOf(baudRate));
  if (::tcsetattr(fd, TCSANOW, &t) != 0) return false;
  ::tcflush(fd, TCIFLUSH);  // bytes from before the open belong to nobody
  return true;
}

bool PosixSerialPort::open(const std::string& device, const SerialSettings& settings) {
  close();
  error_.clear();
  int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = errnoText(errno);
    return false;
  }
  if (!::isatty(fd)) {
    error_ = "not a serial device";
    ::close(fd);
    return false;
  }
  // Another program (or a second node) reading the same receiver would split its packets.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    error_ = errno == EWOULDBLOCK ? "in use by another program" : errnoText(errno);
    ::close(fd);
    return false;
  }
  if (!configure(fd, settings.baudRate)) {
    error_ = errnoText(errno);
    ::close(fd);
    return false;
  }
  watcher_ = watchers_ ? watchers_(fd) : nullptr;
  if (!watcher_) {
    error_ = "no descriptor watcher on this platform";
    ::close(fd);
    return false;
  }
  fd_ = fd;
  watcher_->onReadable([this] { onReadable(); });
  watcher_->onWritable([this] { flush(); });
  return true;
}

void PosixSerialPort::close() {
  retired_.reset();
  out_.clear();
  if (fd_ < 0) return;
  watcher_.reset();
  ::close(fd_);
  fd_ = -1;
}

bool PosixSerialPort::write(const std::string& bytes) {
  if (fd_ < 0) return false;
  out_ += bytes;
  flush();
  return true;
}

void PosixSerialPort::flush() {
  while (fd_ >= 0 && !out_.empty()) {
    ssize_t n = ::write(fd_, out_.data(), out_.size());
    if (n > 0) {
      out_.erase(0, static_cast<std::size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    lose(n < 0 ? errnoText(errno) : "write returned nothing");
    return;
  }
  if (fd_ >= 0) watcher_->setWriteWatch(!out_.empty());
}

void PosixSerialPort::onReadable() {
  std::string chunk;
  std::string gone;
  char buf[kReadChunk];
  while (fd_ >= 0) {
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
      chunk.append(buf, static_cast<std::size_t>(n));
      if (chunk.size() >= 16 * kReadChunk) break;  // the rest comes with the next notification
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    gone = n == 0 ? "hang-up (end of stream)" : errnoText(errno);
    break;
  }
  // What arrived before the device went away is still delivered, then the loss.
  if (!chunk.empty() && dataHandler_) dataHandler_(chunk);
  if (!gone.empty() && fd_ >= 0) lose(gone);
}

void PosixSerialPort::lose(const std::string& reason) {
  error_ = reason;
  watcher_->setReadWatch(false);
  watcher_->setWriteWatch(false);
  retired_ = std::move(watcher_);
  ::close(fd_);
  fd_ = -1;
  out_.clear();
  if (lostHandler_) lostHandler_(reason);
}

}  // namespace quillon::platform
