#include "http/file_cache.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>

#include "util/date_time.h"

namespace fs = std::filesystem;

namespace quillon::http {
namespace {

struct FileStat {
  bool regular = false;
  std::uint64_t size = 0;
  std::int64_t writtenNs = 0;
  std::time_t written = 0;
};

FileStat statOf(const fs::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {true, static_cast<std::uint64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, st.st_mtim.tv_sec};
}

std::uint64_t heldBytes(const CachedFile& f) { return f.body ? f.body->text()->size() : 0; }

}  // namespace

std::shared_ptr<const CachedFile> FileCache::lookup(const std::string& requestPath, std::int64_t nowMs) {
  if (auto it = entries_.find(requestPath); it != entries_.end()) {
    Entry& e = it->second;
    if (nowMs - e.checkedMs < kRecheckMs) return e.file;
    const FileStat now = statOf(e.file->path);
    if (now.regular && now.size == e.file->size && now.writtenNs == e.file->writtenNs) {
      e.checkedMs = nowMs;
      return e.file;
    }
    bytes_ -= heldBytes(*e.file);
    entries_.erase(it);
  }
  const std::optional<fs::path> found = root_.find(requestPath);
  if (!found) return nullptr;
  std::shared_ptr<const CachedFile> entry = load(*found);
  if (!entry) return nullptr;
  if (entries_.size() >= kMaxEntries || bytes_ + heldBytes(*entry) > kMaxTotalBytes) clear();
  entries_[requestPath] = Entry{entry, nowMs};
  bytes_ += heldBytes(*entry);
  return entry;
}

void FileCache::clear() {
  entries_.clear();
  bytes_ = 0;
}

std::shared_ptr<const CachedFile> FileCache::load(const fs::path& file) {
  // A file written while it is read is read again; one that keeps changing goes out from disk.
  for (int attempt = 0; attempt < 3; ++attempt)
    if (std::shared_ptr<const CachedFile> entry = load(file, attempt < 2)) return entry;
  return nullptr;
}

std::shared_ptr<const CachedFile> FileCache::load(const fs::path& file, bool inMemory) {
  const FileStat st = statOf(file);
  if (!st.regular) return nullptr;
  auto entry = std::make_shared<CachedFile>();
  entry->path = file;
  entry->size = st.size;
  entry->writtenNs = st.writtenNs;
  char tag[64];
  std::snprintf(tag, sizeof tag, "\"%llx-%llx\"", static_cast<unsigned long long>(st.size),
                static_cast<unsigned long long>(st.writtenNs));
  entry->tag = tag;
  std::tm local{};
  localtime_r(&st.written, &local);
  entry->lastModified = util::formatGeneral(util::DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                                           local.tm_hour, local.tm_min, local.tm_sec, 0});
  if (inMemory && st.size <= kMaxFileBytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in.is_open()) return nullptr;
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Changed while it was read: its time and size no longer describe these bytes.
    if (bytes.size() != st.size || statOf(file).writtenNs != st.writtenNs) return nullptr;
    entry->body = std::make_shared<PageBody>(std::move(bytes), entry->tag);
  }
  return entry;
}

}  // namespace quillon::http
