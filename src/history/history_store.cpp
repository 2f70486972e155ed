#include "history/history_store.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "history/local_time.h"

namespace quillon::history {
namespace {

constexpr std::int64_t kHourMs = 3600 * 1000;

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A prepared statement, finalized when it goes out of scope.
class Stmt {
 public:
  explicit Stmt(sqlite3_stmt* s) : s_(s) {}
  ~Stmt() { sqlite3_finalize(s_); }
  Stmt(const Stmt&) = delete;
  Stmt& operator=(const Stmt&) = delete;
  sqlite3_stmt* get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }
  void bind(int i, std::int64_t v) { sqlite3_bind_int64(s_, i, v); }
  void bind(int i, double v) { sqlite3_bind_double(s_, i, v); }
  void bind(int i, const std::string& v) { sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT); }
  void bindNull(int i) { sqlite3_bind_null(s_, i); }
  int step() { return sqlite3_step(s_); }
  void reset() {
    sqlite3_reset(s_);
    sqlite3_clear_bindings(s_);
  }

 private:
  sqlite3_stmt* s_;
};

std::string columnText(sqlite3_stmt* s, int i) {
  const unsigned char* t = sqlite3_column_text(s, i);
  return t ? reinterpret_cast<const char*>(t) : std::string();
}

constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS device(id INTEGER PRIMARY KEY, code TEXT NOT NULL UNIQUE, type TEXT, unit TEXT);
CREATE TABLE IF NOT EXISTS reading(device INTEGER NOT NULL, t INTEGER NOT NULL, value REAL, state TEXT,
  PRIMARY KEY(device, t)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS hourly(device INTEGER NOT NULL, hour INTEGER NOT NULL, n INTEGER NOT NULL,
  sum REAL NOT NULL, min REAL NOT NULL, max REAL NOT NULL, PRIMARY KEY(device, hour)) WITHOUT ROWID;
)";

}  // namespace

HistoryStore::~HistoryStore() { close(); }

std::string HistoryStore::lastError() const { return db_ ? sqlite3_errmsg(db_) : "not open"; }

bool HistoryStore::exec(const char* sql, std::string& error) {
  char* message = nullptr;
  if (sqlite3_exec(db_, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  error = message ? message : lastError();
  sqlite3_free(message);
  return false;
}

sqlite3_stmt* HistoryStore::prepare(const char* sql, std::string& error) {
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
    error = lastError();
    sqlite3_finalize(s);
    return nullptr;
  }
  return s;
}

bool HistoryStore::open(const std::filesystem::path& file, std::string& error) {
  close();
  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    error = lastError();
    close();
    return false;
  }
  // A writer elsewhere holding the file is waited for briefly, never for long: the caller runs on
  // the event loop.
  sqlite3_busy_timeout(db_, 200);
  bool ok = true;
  if (sqlite3_db_readonly(db_, "main") == 1) {
    error = "the file is read-only";
    ok = false;
  }
  // journal_mode reads the file, so a file that is no database fails here.
  ok = ok && exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", error);
  ok = ok && exec(kSchema, error);
  if (ok) {
    // A table that cannot be read (a damaged file) fails now rather than at the first query.
    Stmt s(prepare("SELECT count(*) FROM device", error));
    ok = s && s.step() == SQLITE_ROW;
    if (!ok && error.empty()) error = lastError();
  }
  if (!ok) close();
  return ok;
}

void HistoryStore::close() {
  ids_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
}

std::optional<std::int64_t> HistoryStore::deviceId(const std::string& code) {
  const std::string key = upper(code);
  if (auto it = ids_.find(key); it != ids_.end()) return it->second;
  std::string error;
  Stmt s(prepare("SELECT id FROM device WHERE code = ?", error));
  if (!s) return std::nullopt;
  s.bind(1, key);
  if (s.step() != SQLITE_ROW) return std::nullopt;
  const std::int64_t id = sqlite3_column_int64(s.get(), 0);
  ids_[key] = id;
  return id;
}

bool HistoryStore::deviceIdFor(const Reading& r, std::int64_t& id, std::string& error) {
  const std::string key = upper(r.code);
  if (auto it = ids_.find(key); it != ids_.end()) {
    id = it->second;
    return true;
  }
  Stmt s(prepare("INSERT INTO device(code, type, unit) VALUES(?1, ?2, ?3) "
                 "ON CONFLICT(code) DO UPDATE SET type = ?2, unit = ?3 RETURNING id", error));
  if (!s) return false;
  s.bind(1, key);
  s.bind(2, r.type);
  s.bind(3, r.unit);
  if (s.step() != SQLITE_ROW) {
    error = lastError();
    return false;
  }
  id = sqlite3_column_int64(s.get(), 0);
  ids_[key] = id;
  return true;
}

bool HistoryStore::write(const std::vector<Reading>& readings, std::string& error) {
  if (!db_) {
    error = "not open";
    return false;
  }
  if (readings.empty()) return true;
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  const auto fail = [&] {
    if (error.empty()) error = lastError();
    std::string ignored;
    exec("ROLLBACK", ignored);
    ids_.clear();  // ids made in the rolled-back transaction are gone
    return false;
  };
  Stmt insert(prepare("INSERT OR REPLACE INTO reading(device, t, value, state) VALUES(?, ?, ?, ?)", error));
  Stmt hour(prepare("INSERT INTO hourly(device, hour, n, sum, min, max) VALUES(?1, ?2, ?3, ?4, ?5, ?6) "
                    "ON CONFLICT(device, hour) DO UPDATE SET n = n + ?3, sum = sum + ?4, "
                    "min = min(min, ?5), max = max(max, ?6)", error));
  if (!insert || !hour) return fail();
  struct Agg {
    std::int64_t n = 0;
    double sum = 0, min = 0, max = 0;
  };
  std::map<std::pair<std::int64_t, std::int64_t>, Agg> hours;
  for (const Reading& r : readings) {
    std::int64_t id = 0;
    if (!deviceIdFor(r, id, error)) return fail();
    insert.bind(1, id);
    insert.bind(2, r.tMs);
    if (r.value) insert.bind(3, *r.value);
    else insert.bindNull(3);
    if (r.state.empty()) insert.bindNull(4);
    else insert.bind(4, r.state);
    if (insert.step() != SQLITE_DONE) return fail();
    insert.reset();
    if (!r.value) continue;
    const std::int64_t h = r.tMs >= 0 ? r.tMs / kHourMs : (r.tMs - kHourMs + 1) / kHourMs;
    Agg& a = hours[{id, h}];
    if (a.n == 0) a.min = a.max = *r.value;
    ++a.n;
    a.sum += *r.value;
    a.min = std::min(a.min, *r.value);
    a.max = std::max(a.max, *r.value);
  }
  for (const auto& [key, a] : hours) {
    hour.bind(1, key.first);
    hour.bind(2, key.second);
    hour.bind(3, a.n);
    hour.bind(4, a.sum);
    hour.bind(5, a.min);
    hour.bind(6, a.max);
    if (hour.step() != SQLITE_DONE) return fail();
    hour.reset();
  }
  if (!exec("COMMIT", error)) return fail();
  return true;
}

std::optional<DeviceInfo> HistoryStore::device(const std::string& code) {
  if (!db_) return std::nullopt;
  std::string error;
  Stmt s(prepare("SELECT type, unit FROM device WHERE code = ?", error));
  if (!s) return std::nullopt;
  s.bind(1, upper(code));
  if (s.step() != SQLITE_ROW) return std::nullopt;
  return DeviceInfo{columnText(s.get(), 0), columnText(s.get(), 1)};
}

bool HistoryStore::query(const std::string& code, std::int64_t fromMs, std::int64_t toMs, Step step,
                         std::size_t limit, std::vector<Point>& out, std::string& error) {
  out.clear();
  if (!db_) {
    error = "not open";
    return false;
  }
  const std::optional<std::int64_t> id = deviceId(code);
  if (!id) return true;
  if (step == Step::Raw) {
    Stmt s(prepare("SELECT t, value, state FROM reading WHERE device = ? AND t >= ? AND t < ? ORDER BY t LIMIT ?", error));
    if (!s) return false;
    s.bind(1, *id);
    s.bind(2, fromMs);
    s.bind(3, toMs);
    s.bind(4, static_cast<std::int64_t>(limit));
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
      Point p;
      p.tMs = sqlite3_column_int64(s.get(), 0);
      p.n = 1;
      if (sqlite3_column_type(s.get(), 1) != SQLITE_NULL) p.value = p.min = p.max = sqlite3_column_double(s.get(), 1);
      p.state = columnText(s.get(), 2);
      out.push_back(std::move(p));
    }
    if (rc != SQLITE_DONE) error = lastError();
    return rc == SQLITE_DONE;
  }
  Stmt s(prepare("SELECT hour, n, sum, min, max FROM hourly WHERE device = ? AND hour >= ? AND hour < ? ORDER BY hour", error));
  if (!s) return false;
  s.bind(1, *id);
  s.bind(2, fromMs >= 0 ? fromMs / kHourMs : (fromMs - kHourMs + 1) / kHourMs);
  s.bind(3, toMs > 0 ? (toMs + kHourMs - 1) / kHourMs : toMs / kHourMs);
  int rc;
  double sum = 0;
  while ((rc = s.step()) == SQLITE_ROW) {
    const std::int64_t hourStart = sqlite3_column_int64(s.get(), 0) * kHourMs;
    const std::int64_t t = step == Step::Day ? localDayStartMs(hourStart) : hourStart;
    const std::int64_t n = sqlite3_column_int64(s.get(), 1);
    const double rowSum = sqlite3_column_double(s.get(), 2), mn = sqlite3_column_double(s.get(), 3),
                 mx = sqlite3_column_double(s.get(), 4);
    if (!out.empty() && out.back().tMs == t) {  // the same local day
      Point& p = out.back();
      p.n += n;
      p.min = std::min(p.min, mn);
      p.max = std::max(p.max, mx);
      sum += rowSum;
      p.value = sum / static_cast<double>(p.n);
      continue;
    }
    if (out.size() >= limit) break;
    sum = rowSum;
    Point p;
    p.tMs = t;
    p.n = n;
    p.min = mn;
    p.max = mx;
    p.value = rowSum / static_cast<double>(n);
    out.push_back(std::move(p));
  }
  if (rc != SQLITE_DONE && rc != SQLITE_ROW) {
    error = lastError();
    return false;
  }
  return true;
}

std::int64_t HistoryStore::pruneStep(std::int64_t rawBeforeMs, std::int64_t hourlyBeforeMs, int limit,
                                     std::string& error) {
  if (!db_) {
    error = "not open";
    return -1;
  }
  Stmt next(prepare("SELECT id FROM device WHERE id > ? ORDER BY id LIMIT 1", error));
  if (!next) return -1;
  next.bind(1, pruneAfterId_);
  if (next.step() != SQLITE_ROW) {
    pruneAfterId_ = 0;  // a round is done; the next call starts again
    return 0;
  }
  const std::int64_t id = sqlite3_column_int64(next.get(), 0);
  pruneAfterId_ = id;
  // At most `limit` rows a step: the cut-off is the older of the retention limit and the
  // `limit`-th row's time.
  Stmt raw(prepare("DELETE FROM reading WHERE device = ?1 AND t < coalesce(min(?2, (SELECT t FROM reading "
                   "WHERE device = ?1 ORDER BY t LIMIT 1 OFFSET ?3)), ?2)", error));
  Stmt hourly(prepare("DELETE FROM hourly WHERE device = ?1 AND hour < coalesce(min(?2, (SELECT hour FROM hourly "
                      "WHERE device = ?1 ORDER BY hour LIMIT 1 OFFSET ?3)), ?2)", error));
  if (!raw || !hourly) return -1;
  raw.bind(1, id);
  raw.bind(2, rawBeforeMs);
  raw.bind(3, static_cast<std::int64_t>(limit));
  if (raw.step() != SQLITE_DONE) {
    error = lastError();
    return -1;
  }
  std::int64_t deleted = sqlite3_changes(db_);
  hourly.bind(1, id);
  hourly.bind(2, hourlyBeforeMs >= 0 ? hourlyBeforeMs / kHourMs : (hourlyBeforeMs - kHourMs + 1) / kHourMs);
  hourly.bind(3, static_cast<std::int64_t>(limit));
  if (hourly.step() != SQLITE_DONE) {
    error = lastError();
    return -1;
  }
  return deleted + sqlite3_changes(db_);
}

bool HistoryStore::moveCode(const std::string& oldCode, const std::string& newCode, std::string& error) {
  if (!db_) {
    error = "not open";
    return false;
  }
  const std::optional<std::int64_t> from = deviceId(oldCode);
  if (!from) return true;  // nothing to move
  const std::optional<std::int64_t> to = deviceId(newCode);
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  const auto run = [&](const char* sql) {
    Stmt s(prepare(sql, error));
    if (!s) return false;
    s.bind(1, *from);
    if (to) s.bind(2, *to);
    if (s.step() != SQLITE_DONE) {
      error = lastError();
      return false;
    }
    return true;
  };
  // The new code's few rows join the old code's record, which then takes the new code.
  bool ok = true;
  if (to) {
    ok = run("INSERT OR REPLACE INTO reading(device, t, value, state) SELECT ?1, t, value, state FROM reading WHERE device = ?2") &&
         run("INSERT INTO hourly(device, hour, n, sum, min, max) SELECT ?1, hour, n, sum, min, max FROM hourly "
             "WHERE device = ?2 ON CONFLICT(device, hour) DO UPDATE SET n = n + excluded.n, sum = sum + excluded.sum, "
             "min = min(min, excluded.min), max = max(max, excluded.max)") &&
         run("DELETE FROM reading WHERE device = ?2 AND ?1 IS NOT NULL") &&
         run("DELETE FROM hourly WHERE device = ?2 AND ?1 IS NOT NULL") &&
         run("DELETE FROM device WHERE id = ?2 AND ?1 IS NOT NULL");
  }
  if (ok) {
    Stmt s(prepare("UPDATE device SET code = ?2 WHERE id = ?1", error));
    ok = static_cast<bool>(s);
    if (ok) {
      s.bind(1, *from);
      s.bind(2, upper(newCode));
      ok = s.step() == SQLITE_DONE;
      if (!ok) error = lastError();
    }
  }
  ok = ok && exec("COMMIT", error);
  if (!ok) {
    std::string ignored;
    exec("ROLLBACK", ignored);
  }
  ids_.clear();
  return ok;
}

void HistoryStore::checkpoint() {
  if (db_) sqlite3_wal_checkpoint_v2(db_, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
}

}  // namespace quillon::history
