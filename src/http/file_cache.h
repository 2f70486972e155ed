#pragma once
// The web root's files as the server answers them. A path is looked up in the folder once (the
// letter-case-blind walk and the checks that keep it inside the root); later requests check the
// file with one stat and find it again only when it changed or went. Files up to kMaxFileBytes
// are held in memory, shared by every client that is sent them.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>

#include "http/page_body.h"
#include "http/web_root.h"

namespace quillon::http {

struct CachedFile {
  std::filesystem::path path;
  std::uint64_t size = 0;
  std::int64_t writtenNs = 0;  // time of last change, nanoseconds since 1970
  std::string tag;             // the entity tag: size and time of last change
  std::string lastModified;    // the time of last change as local time, general date format
  PageBodyPtr body;            // null: read from disk as the client takes it
};

class FileCache {
 public:
  static constexpr std::uint64_t kMaxFileBytes = 1024 * 1024;
  static constexpr std::uint64_t kMaxTotalBytes = 32 * 1024 * 1024;
  static constexpr std::size_t kMaxEntries = 1024;

  explicit FileCache(const WebRoot& root) : root_(root) {}
  // A file found is checked on disk again when this much time has passed since it last was.
  static constexpr std::int64_t kRecheckMs = 1000;

  // The file a request path names, or null (missing, a folder, outside the root); nowMs is the
  // monotonic clock.
  std::shared_ptr<const CachedFile> lookup(const std::string& requestPath, std::int64_t nowMs);
  void clear();

 private:
  std::shared_ptr<const CachedFile> load(const std::filesystem::path& file);
  std::shared_ptr<const CachedFile> load(const std::filesystem::path& file, bool inMemory);

  const WebRoot& root_;
  struct Entry {
    std::shared_ptr<const CachedFile> file;
    std::int64_t checkedMs = 0;
  };
  std::unordered_map<std::string, Entry> entries_;
  std::uint64_t bytes_ = 0;
};

}  // namespace quillon::http
