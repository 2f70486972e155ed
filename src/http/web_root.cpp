#include "http/web_root.h"

#include <system_error>

#include "util/text.h"

namespace fs = std::filesystem;

namespace quillon::http {
namespace {

// The entry of dir named name in any letter case (the exact name first).
std::optional<fs::path> childOf(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  fs::path exact = dir / name;
  if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    if (util::iequals(it->path().filename().string(), name)) return it->path();
  return std::nullopt;
}

bool inside(const fs::path& path, const fs::path& root) {
  auto p = path.begin();
  for (auto r = root.begin(); r != root.end(); ++r, ++p)
    if (p == path.end() || *p != *r) return false;
  return true;
}

}  // namespace

std::optional<fs::path> WebRoot::find(const std::string& requestPath) const {
  if (root_.empty() || requestPath.find('\0') != std::string::npos || requestPath.find(':') != std::string::npos)
    return std::nullopt;
  fs::path current = root_;
  for (const std::string& part : util::split(util::replaceAll(requestPath, "/", "\\"), "\\")) {
    if (part.empty() || part == ".") continue;
    if (part == "..") return std::nullopt;
    std::optional<fs::path> next = childOf(current, part);
    if (!next) return std::nullopt;
    current = *next;
  }
  std::error_code ec;
  const fs::path real = fs::canonical(current, ec);
  if (ec) return std::nullopt;
  const fs::path realRoot = fs::canonical(root_, ec);
  if (ec || !inside(real, realRoot) || !fs::is_regular_file(real, ec)) return std::nullopt;
  return real;
}

}  // namespace quillon::http
