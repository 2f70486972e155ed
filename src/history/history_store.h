#pragma once
// The time-series database of readings and state changes (SQLite, WAL mode): one row per reading
// in `reading` (device, UTC ms, value, state), and per device and UTC hour the count, sum,
// minimum and maximum in `hourly`, kept up to date as readings are written. Every call reports a
// failure as text instead of throwing; the caller decides what to do without history.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace quillon::history {

struct Reading {
  std::string code;
  std::int64_t tMs = 0;         // UTC
  std::optional<double> value;  // a number the device reported (1/0 for on and off)
  std::string state;            // the state of a switch, a sensor or a remote ("ON", "OFF", a key); else empty
  std::string type;
  std::string unit;
};

enum class Step { Raw, Hour, Day };

// One answer row: a reading (n = 1, min = max = value) or an aggregate of a step.
struct Point {
  std::int64_t tMs = 0;
  std::optional<double> value;  // the reading, or the mean
  double min = 0, max = 0;
  std::int64_t n = 0;
  std::string state;
};

struct DeviceInfo {
  std::string type, unit;
};

class HistoryStore {
 public:
  HistoryStore() = default;
  ~HistoryStore();
  HistoryStore(const HistoryStore&) = delete;
  HistoryStore& operator=(const HistoryStore&) = delete;

  // Opens (or creates) the file, checks it is a writable database and sets up the tables.
  bool open(const std::filesystem::path& file, std::string& error);
  void close();
  bool isOpen() const { return db_ != nullptr; }

  // Writes the readings and their hourly figures in one transaction; all or nothing.
  bool write(const std::vector<Reading>& readings, std::string& error);
  // Rows of a device from fromMs (included) to toMs (excluded), oldest first, at most `limit`.
  // Day steps are local days. An unknown code gives no rows.
  bool query(const std::string& code, std::int64_t fromMs, std::int64_t toMs, Step step, std::size_t limit,
             std::vector<Point>& out, std::string& error);
  std::optional<DeviceInfo> device(const std::string& code);
  // Deletes, for the next device in turn, raw rows before rawBeforeMs and hourly rows before
  // hourlyBeforeMs, at most `limit` rows of each. Returns the rows deleted, -1 on failure.
  std::int64_t pruneStep(std::int64_t rawBeforeMs, std::int64_t hourlyBeforeMs, int limit, std::string& error);
  // Moves the history of oldCode to newCode (merged with what newCode has already).
  bool moveCode(const std::string& oldCode, const std::string& newCode, std::string& error);
  // Runs a checkpoint of the write-ahead log into the database file.
  void checkpoint();

 private:
  bool exec(const char* sql, std::string& error);
  sqlite3_stmt* prepare(const char* sql, std::string& error);
  std::optional<std::int64_t> deviceId(const std::string& code);
  bool deviceIdFor(const Reading& r, std::int64_t& id, std::string& error);
  std::string lastError() const;

  sqlite3* db_ = nullptr;
  std::unordered_map<std::string, std::int64_t> ids_;  // upper-case code -> device id
  std::int64_t pruneAfterId_ = 0;  // the last device pruned
};

}  // namespace quillon::history
