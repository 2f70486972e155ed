#pragma once
// Web sessions: a random id in an HttpOnly, SameSite=Strict cookie, the token every form of the
// session carries (checked on each POST), and whether the session has logged in and with which
// login. A session unused for the idle time ends; a changed login ends every logged-in one.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>


namespace quillon::http {

// Stands in a drawn page for the session's form token until the page goes to its client.
inline constexpr std::string_view kTokenMark = "\x01token\x01";
inline constexpr const char* kSessionCookie = "quillon_session";

// 128 random bits as 32 hexadecimal digits.
std::string randomHex128();

struct WebSession {
  std::string id;
  std::string token;
  std::string login;  // the login it logged in with; "" while it has not
  std::int64_t lastUsedMs = 0;
};

class SessionStore {
 public:
  static constexpr std::size_t kMaxSessions = 512;

  void setIdleMs(std::int64_t ms) { idleMs_ = ms; }
  // The session a Cookie header names, still fresh, or null.
  WebSession* find(const std::string& cookieHeader, std::int64_t nowMs);
  // A new session; the least recently used one goes when there are kMaxSessions.
  WebSession& create(std::int64_t nowMs);
  // Every session that logged in with another login than this one is logged out.
  void keepLogin(const std::string& login);
  std::string setCookieLine(const WebSession& s) const;

 private:
  std::unordered_map<std::string, WebSession> sessions_;
  std::int64_t idleMs_ = 60 * 60 * 1000;
};

// Failed logins by address: after kFreeFailures an address waits, kFirstWaitMs doubling up to
// kMaxWaitMs, before its next attempt is even looked at.
class LoginThrottle {
 public:
  static constexpr int kFreeFailures = 10;
  static constexpr std::int64_t kFirstWaitMs = 30 * 1000;
  static constexpr std::int64_t kMaxWaitMs = 15 * 60 * 1000;

  // Milliseconds the address still has to wait (0: it may try).
  std::int64_t waitFor(const std::string& address, std::int64_t nowMs) const;
  // A failed attempt; true when it starts a wait (worth one log line).
  bool failed(const std::string& address, std::int64_t nowMs);
  void succeeded(const std::string& address) { entries_.erase(address); }

 private:
  struct Entry {
    int failures = 0;
    std::int64_t waitUntilMs = 0;
  };
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace quillon::http
