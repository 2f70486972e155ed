#include "xap/xap_message.h"

#include "util/text.h"

namespace quillon::xap {

namespace {

char lowerChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerOf(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lowerChar(c);
  return out;
}

// Blanks only: a carriage return stays part of the text.
std::string_view trimBlanks(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

// The lower-case, trimmed key before the first "=".
std::string keyOf(std::string_view line, std::size_t eq) { return lowerOf(trimBlanks(line.substr(0, eq))); }

// The part of an address before its first ":", lower-cased and split at ".".
std::vector<std::string_view> addressParts(std::string_view a, std::string& storage) {
  std::size_t colon = a.find(':');
  storage = lowerOf(colon == std::string_view::npos ? a : a.substr(0, colon));
  std::vector<std::string_view> parts;
  std::string_view rest = storage;
  for (;;) {
    std::size_t dot = rest.find('.');
    parts.push_back(rest.substr(0, dot));
    if (dot == std::string_view::npos) break;
    rest.remove_prefix(dot + 1);
  }
  return parts;
}

const XapSection& emptySection() {
  static const XapSection empty;
  return empty;
}

}  // namespace

int KeyIndex::find(std::string_view key) const {
  if (!hashed_.empty()) {
    auto it = hashed_.find(std::string(key));
    return it == hashed_.end() ? -1 : it->second;
  }
  for (const auto& [k, v] : entries_)
    if (k == key) return v;
  return -1;
}

bool KeyIndex::insert(std::string key, int value) {
  if (find(key) >= 0) return false;
  entries_.emplace_back(std::move(key), value);
  if (!hashed_.empty()) {
    hashed_.emplace(entries_.back().first, value);
  } else if (entries_.size() > kLinearLimit) {
    for (const auto& [k, v] : entries_) hashed_.emplace(k, v);
  }
  return true;
}

void KeyIndex::clear() {
  entries_.clear();
  hashed_.clear();
}

const std::string* XapSection::line(std::string_view key) const {
  int i = index_.find(key);
  return i < 0 ? nullptr : &lines_[static_cast<std::size_t>(i)];
}

bool XapSection::add(std::string key, std::string line) {
  if (!index_.insert(std::move(key), static_cast<int>(lines_.size()))) return false;
  lines_.push_back(std::move(line));
  return true;
}

std::vector<std::string> XapSection::keys() const {
  std::vector<std::string> out;
  for (const auto& e : index_.entries()) out.push_back(e.first);
  return out;
}

int XapMessage::init(const std::string&) {
  output_.clear();
  return 0;
}

int XapMessage::addHeader() {
  output_.append(kHeaderTemplate).append(uid_);
  output_.append("\nclass=").append(class_);
  output_.append("\nsource=").append(source_);
  if (!target_.empty()) output_.append("\ntarget=").append(target_);
  output_.append("\n}\n");
  sectionOpen_ = false;
  return 0;
}

int XapMessage::addSection(const std::string& section) {
  if (sectionOpen_) output_.append("}\n");
  output_.append(section).append("\n{\n");
  sectionOpen_ = true;
  return 0;
}

int XapMessage::addItem(const std::string&, const std::string& item, const std::string& value) {
  output_.append(item).append("=").append(value).append("\n");
  return 0;
}

std::string XapMessage::toXap() const {
  std::string out;
  out.reserve(output_.size() + 2);
  out.append(output_).append("}\n");
  return out;
}

void XapMessage::parseError(std::string_view key, std::string_view value, std::string_view raw) const {
  if (!errorSink_) return;
  std::string shown(raw);
  for (char& c : shown) {
    if (c == '\r') c = '|';
    else if (c == '\n') c = '~';
  }
  std::string text = "From XAP Key=";
  text.append(key).append(", Value=").append(value).append(",Message=").append(shown);
  errorSink_(text);
}

int XapMessage::fromXap(std::string_view raw) {
  if (raw.empty()) return 0;
  std::size_t firstEnd = raw.find('\n');
  std::string_view first = raw.substr(0, firstEnd);
  if (util::ifind(first, "xap-header") == std::string_view::npos) return 0;

  // Walk the lines without copying them; pos is the start of the next unread line.
  std::size_t pos = 0;
  bool more = true;
  auto nextLine = [&](std::string_view& out) {
    if (!more) return false;
    std::size_t end = raw.find('\n', pos);
    if (end == std::string_view::npos) {
      out = raw.substr(pos);
      more = false;
    } else {
      out = raw.substr(pos, end - pos);
      pos = end + 1;
    }
    return true;
  };
  std::string_view line;
  nextLine(line);  // "xap-header"
  nextLine(line);  // "{", not checked

  int section = -1;
  std::string lastKey, lastValue;
  while (nextLine(line)) {
    if (line == "}") {
      ++section;
      std::string_view nameLine;
      std::string name;
      if (nextLine(nameLine)) {
        name = lowerOf(nameLine);
      } else {
        // Nothing follows the "}": the block is still counted, under the empty name.
        parseError(lastKey, lastValue, raw);
      }
      if (!sectionIndex_.insert(name, section)) parseError(name, lastValue, raw);
      sections_.emplace_back();
      hasSections_ = true;
      continue;
    }
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    if (section < 0) {
      lastKey = keyOf(line, eq);
      std::string value(trimBlanks(line.substr(eq + 1)));
      if (lastKey == "uid") uid_ = value;
      else if (lastKey == "class") class_ = value;
      else if (lastKey == "source") source_ = value;
      else if (lastKey == "target") target_ = value;
      lastValue = std::move(value);
    } else {
      lastKey = keyOf(line, eq);
      if (!sections_.back().add(lastKey, std::string(line))) parseError(lastKey, line, raw);
      // Only kept for the error text of a later failure.
      if (errorSink_) lastValue.assign(line);
    }
  }
  return 0;
}

std::string XapMessage::getItem(const std::string& section, const std::string& item) const {
  int n = sectionIndex_.find(lowerOf(section));
  if (n < 0 || static_cast<std::size_t>(n) >= sections_.size()) return "Unknown";
  const std::string* line = sections_[static_cast<std::size_t>(n)].line(lowerOf(item));
  if (!line) return "Unknown";
  return line->substr(line->find('=') + 1);
}

std::vector<std::string> XapMessage::msgSection() const {
  if (sectionIndex_.size() == 0) return {std::string()};
  std::vector<std::string> out;
  const auto& entries = sectionIndex_.entries();
  for (std::size_t i = 0; i + 1 < entries.size(); ++i) out.push_back(entries[i].first);
  return out;
}

const XapSection& XapMessage::msgCollection(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= sections_.size()) return emptySection();
  return sections_[static_cast<std::size_t>(index)];
}

bool XapMessage::compareAddress(std::string_view a1, std::string_view a2) {
  if (a1.empty() || a2.empty()) return false;
  std::string s1, s2;
  auto p1 = addressParts(a1, s1);
  auto p2 = addressParts(a2, s2);
  std::size_t n = p1.size() - 1;
  bool result;
  if (p2.size() < p1.size()) {
    n = p2.size() - 1;
    result = false;
  } else {
    result = p1.size() == p2.size();
  }
  for (std::size_t i = 0; i <= n; ++i) {
    if (p1[i] == ">" || p2[i] == ">") return true;
    if (p1[i] != "*" && p2[i] != "*" && p1[i] != p2[i]) return false;
  }
  return result;
}

bool XapMessage::compareClass(std::string_view cls) const { return util::iequals(cls, class_); }

}  // namespace quillon::xap
