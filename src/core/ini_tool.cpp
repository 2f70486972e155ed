#include "core/ini_tool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "util/text.h"

namespace fs = std::filesystem;

namespace quillon::core {
namespace {

std::string trimBlanks(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// Bad lines of one file are reported one by one up to this count, then summed up.
constexpr int kMaxReportedLines = 20;
// How much of a bad line its report quotes.
constexpr std::size_t kQuotedLineBytes = 80;

std::string quoteBadLine(const std::string& line) {
  if (line.size() <= kQuotedLineBytes) return line;
  return line.substr(0, kQuotedLineBytes) + "... (" + std::to_string(line.size()) + " bytes)";
}

// Writes the whole text to a new file beside the target and forces it to the disk. The name is
// unique (a second writer cannot collide with it) and starts with the target's name and
// kTempInfix, so that a file left by a killed writer can be found and removed. Empty on failure.
std::string writeTemporary(const fs::path& target, const std::string& text, std::string& error) {
  std::string name = target.string() + IniTool::kTempInfix + "XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = "cannot create " + name + ": " + std::strerror(errno);
    return {};
  }
  // The new file gets the permissions of the one it replaces (mkstemp makes it private).
  std::error_code ec;
  const auto perms = fs::status(target, ec).permissions();
  ::fchmod(fd, ec || perms == fs::perms::unknown ? 0644 : static_cast<mode_t>(perms));
  std::size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  if (!ok) error = std::string("write failed (disk full?): ") + std::strerror(errno);
  if (ok && ::fsync(fd) != 0) ok = false, error = std::string("cannot flush to disk: ") + std::strerror(errno);
  if (::close(fd) != 0 && ok) ok = false, error = std::string("cannot close: ") + std::strerror(errno);
  if (!ok) {
    ::unlink(name.c_str());
    return {};
  }
  return name;
}

// After a rename the folder's entry must reach the disk as well.
void syncFolder(const fs::path& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

void IniTool::load(const std::string& path) {
  dict_.clear();
  path_ = path;
  loadFailed_ = false;
  std::error_code ec;
  if (!fs::exists(path, ec)) return;
  auto size = fs::file_size(path, ec);
  if (ec || size > kMaxFileSize) {
    loadFailed_ = true;
    logLine(" File too large or unreadable: " + path);
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    loadFailed_ = true;
    logLine(" Cannot read file " + path);
    return;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();

  std::string section;
  int badLines = 0;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    ++lineNumber;
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string raw = text.substr(start, end - start);
    start = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string line = trimBlanks(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      section = line.substr(1, line.size() - 2);
      if (!dict_.contains(section)) dict_.insert(section, section);
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) {
      if (++badLines <= kMaxReportedLines)
        logLine(" Equal sign not found on line " + quoteBadLine(line) + ", file " + path + ", line number " +
                std::to_string(lineNumber));
      continue;
    }
    std::string key = line.substr(0, eq);
    // A value entry's section entry exists even for lines before the first header.
    if (!dict_.contains(section)) dict_.insert(section, section);
    dict_.insert(section + kSep + key, line.substr(eq + 1));
  }
  if (badLines > kMaxReportedLines) {
    std::string text = std::to_string(badLines - kMaxReportedLines);
    text.insert(0, 1, ' ');
    text.append(" more lines without an equal sign, file ").append(path);
    logLine(text);
  }
}

std::string IniTool::read(const std::string& section, const std::string& key, const std::string& def) const {
  const std::string* v = dict_.find(section + kSep + key);
  if (!v || v->empty()) return def;
  return *v;
}

void IniTool::writeKey(const std::string& section, const std::string& key, const std::string& value) {
  if (!dict_.contains(section)) dict_.insert(section, section);
  dict_.insertOrAssign(section + kSep + key, value);
}

void IniTool::removeKey(const std::string& section, const std::string& key) { dict_.erase(section + kSep + key); }

void IniTool::removeSection(const std::string& section) {
  for (const std::string& k : keys(section))
    if (!k.empty()) removeKey(section, k);
}

std::vector<std::string> IniTool::headers() const {
  std::vector<std::string> out;
  for (const auto& [k, v] : dict_)
    if (k == v) out.push_back(k);
  return out;
}

std::vector<std::string> IniTool::keys(const std::string& section) const {
  std::vector<std::string> out;
  const std::string prefix = section + kSep;
  for (const auto& [k, v] : dict_) {
    if (k == v || !util::istartsWith(k, prefix)) continue;
    std::string name = k.substr(prefix.size());
    if (util::trim(name).empty()) continue;
    out.push_back(std::move(name));
  }
  if (out.empty()) out.emplace_back();
  return out;
}

bool IniTool::save() {
  struct Record {
    std::string header, key, headerSort, value;
  };
  std::vector<Record> records;
  for (const auto& [k, v] : dict_) {
    if (k == v) continue;
    std::size_t p = k.find(kSep);
    if (p == std::string::npos) continue;
    records.push_back({k.substr(0, p), k.substr(p + 1), util::upper(k.substr(0, p)), v});
  }
  // Sections alphabetically, then keys; keys that differ only in case keep their stored order.
  std::stable_sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
    if (a.headerSort != b.headerSort) return a.headerSort < b.headerSort;
    return util::upper(a.key) < util::upper(b.key);
  });

  std::string out;
  const std::string* last = nullptr;
  for (const Record& r : records) {
    if (!last || *last != r.headerSort) {
      out += "[" + r.headerSort + "]\r\n";
      last = &r.headerSort;
    }
    out += r.key + "=" + r.value + "\r\n";
  }

  std::error_code ec;
  const fs::path target(path_);
  if (fs::exists(target, ec)) {
    if (loadFailed_) {
      fs::copy_file(target, target.string() + "_unread", fs::copy_options::skip_existing, ec);
      ec.clear();
    }
    fs::copy_file(target, target.string() + "_bck", fs::copy_options::overwrite_existing, ec);
    if (ec) {
      logLine("IniTool Save " + path_ + ": cannot make the backup copy: " + ec.message());
      return false;
    }
  }
  std::string error;
  const std::string temp = writeTemporary(target, out, error);
  if (temp.empty()) {
    logLine("IniTool Save " + path_ + ": " + error);
    return false;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    logLine("IniTool Save " + path_ + ": " + ec.message());
    fs::remove(temp, ec);
    return false;
  }
  syncFolder(target.parent_path());
  loadFailed_ = false;
  return true;
}

void IniTool::removeStaleTemporaries(const std::string& path) {
  const fs::path target(path);
  const std::string prefix = target.filename().string() + kTempInfix;
  const std::string oldName = target.filename().string() + ".tmp";
  std::error_code ec;
  for (auto it = fs::directory_iterator(target.parent_path().empty() ? "." : target.parent_path(), ec);
       !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool stale = name == oldName || (name.size() == prefix.size() + 6 && name.rfind(prefix, 0) == 0);
    std::error_code rm;
    if (stale && it->is_regular_file(rm) && fs::remove(it->path(), rm)) logLine(" Removed " + it->path().string() + ", left by an interrupted save");
  }
}

}  // namespace quillon::core
