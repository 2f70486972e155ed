#include "core/app_paths.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace quillon::core {

bool createFolders(const std::string& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return fs::is_directory(folder, ec);
}

std::string defaultAppFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return std::string(xdg) + "/quillon";
  if (const char* home = std::getenv("HOME"); home && *home) return std::string(home) + "/.local/share/quillon";
  return "./quillon-data";
}

bool populateFromTemplate(const std::string& templateDir, const std::string& appFolder) {
  std::error_code ec;
  if (!fs::is_directory(templateDir, ec)) return false;
  createFolders(appFolder);
  for (auto it = fs::recursive_directory_iterator(templateDir, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::path rel = fs::relative(it->path(), templateDir, ec);
    if (ec) return false;
    fs::path target = fs::path(appFolder) / rel;
    if (it->is_directory(ec)) {
      fs::create_directories(target, ec);
    } else if (!fs::exists(target, ec)) {
      fs::copy_file(it->path(), target, ec);
    }
  }
  return !ec;
}

std::string executablePath() {
  std::error_code ec;
  fs::path p = fs::read_symlink("/proc/self/exe", ec);
  return ec ? std::string("quillon") : p.string();
}

}  // namespace quillon::core

namespace quillon::core {

std::string templateFolder(const std::string& exePath) {
  namespace fs = std::filesystem;
  if (const char* env = std::getenv("QUILLON_SHARE_DIR"); env && *env) return env;
  const fs::path bin = fs::path(exePath).parent_path();
  std::error_code ec;
  const fs::path installed = bin.parent_path() / "share" / "quillon";
  if (fs::is_directory(installed, ec)) return installed.string();
  std::ifstream note(bin / "quillon-share.path");
  std::string line;
  if (note && std::getline(note, line) && fs::is_directory(line, ec)) return line;
  return "";
}

}  // namespace quillon::core
