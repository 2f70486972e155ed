#include "script/subscriptions.h"

#include <algorithm>

#include "util/text.h"
#include "xap/xap_message.h"

namespace quillon::script {

namespace {

// An empty field or "*" matches anything, as a subscription leaves it open.
bool open(const std::string& pattern) { return pattern.empty() || pattern == "*"; }

}  // namespace

void ScriptVBS::removeMessageHandle(const std::string& h) {
  auto it = std::find_if(handles_.begin(), handles_.end(), [&](const std::string& x) { return util::iequals(x, h); });
  if (it != handles_.end()) handles_.erase(it);
}

std::string ScriptVBS::messageHandle() {
  if (handles_.empty()) return {};
  std::string h = std::move(handles_.front());
  handles_.pop_front();
  return h;
}

bool ScriptVBS::matches(const xap::XapMessage& m) const {
  if (!open(schema) && !m.compareClass(schema)) return false;
  if (!open(source) && !m.compareSource(source)) return false;
  if (!open(target) && !m.compareTarget(target)) return false;
  if (open(section)) return true;
  for (const std::string& s : m.msgSection())
    if (xap::XapMessage::compareAddress(section, util::lower(s))) return true;
  return false;
}

void Subscriptions::select(const std::string& target, const std::string& cls, const std::string& section,
                           const std::string& source, const std::string& scriptPath) {
  const std::string t = util::lower(target), c = util::lower(cls), s = util::lower(section), src = util::lower(source),
                    sc = util::lower(scriptPath);
  for (const auto& v : list_)
    if (v->target == t && v->schema == c && v->section == s && v->source == src && v->script == sc) return;
  auto v = std::make_unique<ScriptVBS>();
  v->target = t;
  v->schema = c;
  v->section = s;
  v->source = src;
  v->script = sc;
  list_.push_back(std::move(v));
}

void Subscriptions::deselect(const std::string& target, const std::string& cls, const std::string& section,
                             const std::string& scriptPath) {
  const std::string t = util::lower(target), c = util::lower(cls), s = util::lower(section),
                    sc = util::lower(scriptPath);
  for (auto it = list_.begin(); it != list_.end(); ++it) {
    const ScriptVBS& v = **it;
    if (v.target == t && v.schema == c && v.section == s && v.script == sc) {
      for (const std::string& h : v.handles_) store_.erase(h);
      list_.erase(it);
      return;
    }
  }
}

void Subscriptions::deliver(const xap::XapMessage& message, const std::string& raw) {
  std::shared_ptr<const StoredMessage> stored;  // one copy, made on the first match
  for (std::size_t i = 0; i < list_.size(); ++i) {
    ScriptVBS& v = *list_[i];
    if (!v.matches(message)) continue;
    if (!stored) {
      auto copy = std::make_shared<xap::XapMessage>(message);
      copy->setErrorSink({});
      stored = std::make_shared<const StoredMessage>(StoredMessage{std::move(copy), raw});
    }
    if (v.handles_.size() >= kMaxHeld) {
      store_.erase(v.handles_.front());
      v.handles_.pop_front();
      if (v.dropped_++ == 0 && log_)
        log_("Script subscription " + std::to_string(i + 1) + " (" + v.script + ") holds " +
             std::to_string(kMaxHeld) + " unread messages: dropping the oldest");
    }
    std::string handle = "M" + std::to_string(++nextHandle_);
    store_.emplace(handle, stored);
    v.addMessageHandle(handle);
  }
}

std::shared_ptr<const StoredMessage> Subscriptions::take(int position) {
  if (position < 1 || static_cast<std::size_t>(position) > list_.size()) return nullptr;
  ScriptVBS& v = *list_[static_cast<std::size_t>(position) - 1];
  if (v.dropped_ > 0) {
    if (log_)
      log_("Script subscription " + std::to_string(position) + " (" + v.script + "): " + std::to_string(v.dropped_) +
           " unread messages were dropped");
    v.dropped_ = 0;
  }
  while (v.messageCount() > 0) {
    std::string h = v.messageHandle();
    auto it = store_.find(h);
    if (it == store_.end()) continue;
    auto out = it->second;
    store_.erase(it);
    return out;
  }
  return nullptr;
}

const ScriptVBS* Subscriptions::at(int position) const {
  if (position < 1 || static_cast<std::size_t>(position) > list_.size()) return nullptr;
  return list_[static_cast<std::size_t>(position) - 1].get();
}

}  // namespace quillon::script
