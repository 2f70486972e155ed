#pragma once
// The folder the server's files come from. A request path ("\"-separated, as the dispatcher has
// it) is matched to a file without regard to letter case, and never to anything outside the folder.
#include <filesystem>
#include <optional>
#include <string>

namespace quillon::http {

class WebRoot {
 public:
  explicit WebRoot(std::filesystem::path root = {}) : root_(std::move(root)) {}
  void setRoot(std::filesystem::path root) { root_ = std::move(root); }
  const std::filesystem::path& root() const { return root_; }

  // The regular file the path names, or nothing: missing, a folder, or a path that would leave the
  // root (a ".." part, a drive or stream ":", a NUL, a link that points outside).
  std::optional<std::filesystem::path> find(const std::string& requestPath) const;

 private:
  std::filesystem::path root_;
};

}  // namespace quillon::http
