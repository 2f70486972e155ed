#pragma once
// The real node binary in a child process: start it on a folder, wait for lines of its log.
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace quillon::test {

inline std::string readWholeFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Waits up to 30 s (the sanitizers are slow) for the text to appear in the file.
inline bool waitForText(const std::filesystem::path& file, const std::string& text) {
  for (int i = 0; i < 300; ++i) {
    if (readWholeFile(file).find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// Starts `binary --app-dir dir --headless`; the child's pid, or -1.
inline pid_t startNodeProcess(const char* binary, const std::filesystem::path& dir) {
  pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(binary, binary, "--app-dir", dir.c_str(), "--headless", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

}  // namespace quillon::test
