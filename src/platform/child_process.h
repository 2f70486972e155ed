#pragma once
// A child program the node runs and watches: its standard output and error come back as bytes on
// the event loop, and its end (exit, crash, or failure to start) is reported once.
#include <functional>
#include <string>
#include <vector>

namespace quillon::platform {

class ChildProcess {
 public:
  virtual ~ChildProcess() = default;
  // Starts the program (looked up on PATH when it holds no '/'). A program that cannot be
  // started is reported through onFinished with started == false.
  virtual void start(const std::string& program, const std::vector<std::string>& args) = 0;
  // Asks the child to end (SIGTERM), then kills it after a short grace; no handler runs after.
  virtual void stop() = 0;
  virtual bool running() const = 0;

  void onStdout(std::function<void(const std::string&)> fn) { stdout_ = std::move(fn); }
  void onStderr(std::function<void(const std::string&)> fn) { stderr_ = std::move(fn); }
  // started: false when the program never ran; then `error` says why. Otherwise its exit code
  // (or -1 after a crash) and `error` empty.
  void onFinished(std::function<void(bool started, int exitCode, const std::string& error)> fn) {
    finished_ = std::move(fn);
  }

 protected:
  std::function<void(const std::string&)> stdout_;
  std::function<void(const std::string&)> stderr_;
  std::function<void(bool, int, const std::string&)> finished_;
};

// A file or named pipe read without blocking the event loop.
class FileReader {
 public:
  enum class Result { Data, Again, End, Error };
  virtual ~FileReader() = default;
  // False when the path cannot be opened; error() says why.
  virtual bool open(const std::string& path) = 0;
  virtual void close() = 0;
  // Up to `max` bytes into `out`: Data, Again (a pipe with nothing yet), End (end of file, or the
  // writer of a pipe closed it) or Error.
  virtual Result read(std::string& out, std::size_t max) = 0;
  virtual std::string error() const = 0;
  // True for a named pipe or socket, which a new writer can open again after its end.
  virtual bool isPipe() const { return false; }
};

}  // namespace quillon::platform
