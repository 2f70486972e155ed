#include "http/sessions.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace quillon::http {

std::string randomHex128() {
  static std::random_device device;  // the kernel's random source
  std::string out;
  char digits[9];
  for (int i = 0; i < 4; ++i) {
    std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(device()));
    out += digits;
  }
  return out;
}

WebSession* SessionStore::find(const std::string& cookieHeader, std::int64_t nowMs) {
  const std::string name = std::string(kSessionCookie) + "=";
  for (std::size_t at = cookieHeader.find(name); at != std::string::npos; at = cookieHeader.find(name, at + 1)) {
    if (at > 0 && cookieHeader[at - 1] != ' ' && cookieHeader[at - 1] != ';') continue;
    const std::size_t from = at + name.size();
    const std::string id = cookieHeader.substr(from, cookieHeader.find(';', from) - from);
    auto it = sessions_.find(id);
    if (it == sessions_.end()) continue;
    if (nowMs - it->second.lastUsedMs > idleMs_) {
      sessions_.erase(it);
      return nullptr;
    }
    it->second.lastUsedMs = nowMs;
    return &it->second;
  }
  return nullptr;
}

WebSession& SessionStore::create(std::int64_t nowMs) {
  if (sessions_.size() >= kMaxSessions) {
    auto oldest = std::min_element(sessions_.begin(), sessions_.end(), [](const auto& a, const auto& b) {
      return a.second.lastUsedMs < b.second.lastUsedMs;
    });
    sessions_.erase(oldest);
  }
  WebSession s;
  s.id = randomHex128();
  s.token = randomHex128();
  s.lastUsedMs = nowMs;
  const std::string id = s.id;
  return sessions_[id] = std::move(s);
}

void SessionStore::keepLogin(const std::string& login) {
  for (auto& [id, s] : sessions_)
    if (!s.login.empty() && s.login != login) s.login.clear();
}

std::string SessionStore::setCookieLine(const WebSession& s) const {
  return "Set-Cookie: " + std::string(kSessionCookie) + "=" + s.id + "; Path=/; HttpOnly; SameSite=Strict\r\n";
}

std::int64_t LoginThrottle::waitFor(const std::string& address, std::int64_t nowMs) const {
  auto it = entries_.find(address);
  return it == entries_.end() ? 0 : std::max<std::int64_t>(0, it->second.waitUntilMs - nowMs);
}

bool LoginThrottle::failed(const std::string& address, std::int64_t nowMs) {
  if (entries_.size() > 4096 && !entries_.contains(address)) entries_.clear();  // a flood of addresses
  Entry& e = entries_[address];
  ++e.failures;
  if (e.failures < kFreeFailures) return false;
  const int doublings = std::min(e.failures - kFreeFailures, 5);
  e.waitUntilMs = nowMs + std::min(kFirstWaitMs << doublings, kMaxWaitMs);
  return e.failures == kFreeFailures;
}

}  // namespace quillon::http
