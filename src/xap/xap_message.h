#pragma once
// One xAP message, built for sending or parsed from a received datagram.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quillon::xap {

// The header lines every outgoing message starts with, up to "uid=".
inline constexpr std::string_view kHeaderTemplate = "xap-header\n{\nv=13\nhop=1\nuid=";

// Name -> number lookup that stays linear while small and switches to hashing when it grows, so
// datagrams with thousands of lines or blocks parse in linear time.
class KeyIndex {
 public:
  // -1 when absent.
  int find(std::string_view key) const;
  // False (and nothing stored) when the key is already present.
  bool insert(std::string key, int value);
  std::size_t size() const { return entries_.size(); }
  const std::vector<std::pair<std::string, int>>& entries() const { return entries_; }
  void clear();

 private:
  static constexpr std::size_t kLinearLimit = 16;
  std::vector<std::pair<std::string, int>> entries_;
  std::unordered_map<std::string, int> hashed_;  // copy of entries_, kept once past the limit
};

// The item lines of one parsed section, keyed by the lower-case trimmed item name.
class XapSection {
 public:
  // The raw line stored under a lower-case key, or null.
  const std::string* line(std::string_view key) const;
  bool add(std::string key, std::string line);
  std::size_t size() const { return lines_.size(); }
  // The raw lines in wire order.
  const std::vector<std::string>& lines() const { return lines_; }
  // The keys in wire order.
  std::vector<std::string> keys() const;

 private:
  KeyIndex index_;
  std::vector<std::string> lines_;
};

class XapMessage {
 public:
  // Receives the text of each parse error (already prefixed "From XAP ").
  using ErrorSink = std::function<void(const std::string& text)>;

  XapMessage() = default;
  explicit XapMessage(ErrorSink sink) : errorSink_(std::move(sink)) {}
  void setErrorSink(ErrorSink sink) { errorSink_ = std::move(sink); }

  // Building. Each returns 0.
  int init(const std::string& message = "");
  int addHeader();
  int addSection(const std::string& section);
  int addItem(const std::string& section, const std::string& item, const std::string& value);
  // The built text with the closing "}" of the last section.
  std::string toXap() const;

  // Parsing. Returns 0; heartbeats and other non-header blocks are left unparsed.
  int fromXap(std::string_view raw);
  // The item's value as on the wire (not trimmed), or "Unknown".
  std::string getItem(const std::string& section, const std::string& item) const;
  // The parsed section names without the trailing one that the closing "}" opens.
  std::vector<std::string> msgSection() const;
  // The item lines of section number index; an empty section when out of range.
  const XapSection& msgCollection(int index) const;
  std::size_t sectionCount() const { return sections_.size(); }
  bool hasSections() const { return hasSections_; }

  // Matching.
  static bool compareAddress(std::string_view a1, std::string_view a2);
  bool compareClass(std::string_view cls) const;
  bool compareSource(std::string_view pattern) const { return compareAddress(pattern, source_); }
  bool compareTarget(std::string_view pattern) const { return compareAddress(pattern, target_); }

  void reset() {}

  const std::string& msgClass() const { return class_; }
  const std::string& msgTarget() const { return target_; }
  const std::string& msgSource() const { return source_; }
  const std::string& msgUid() const { return uid_; }
  void setMsgClass(std::string v) { class_ = std::move(v); }
  void setMsgTarget(std::string v) { target_ = std::move(v); }
  void setMsgSource(std::string v) { source_ = std::move(v); }
  void setMsgUid(std::string v) { uid_ = std::move(v); }

 private:
  void parseError(std::string_view key, std::string_view value, std::string_view raw) const;

  std::string class_ = "Unknown";
  std::string target_ = "Unknown";
  std::string source_ = "Unknown";
  std::string uid_ = "Unknown";
  std::string output_;
  bool sectionOpen_ = false;
  KeyIndex sectionIndex_;
  std::vector<XapSection> sections_;
  bool hasSections_ = false;
  ErrorSink errorSink_;
};

}  // namespace quillon::xap
