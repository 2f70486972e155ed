#pragma once
// The history subsystem: hears every change of the device registry, keeps each sensor reading
// and each state change, and writes them to Data/history.sqlite at most once a second in one
// transaction (a killed node loses at most the last second). Retention runs in small steps on a
// timer. A database that cannot be opened or written is logged once; the node goes on without
// history and tries again every minute.
#include <cstdint>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/node_context.h"
#include "core/subsystem.h"
#include "devices/device_registry.h"
#include "history/history_store.h"
#include "platform/event_loop.h"

namespace quillon::history {

// What a device change adds to the history, if anything (the history's reading of a record).
std::optional<Reading> readingOf(const devices::DeviceChange& change, bool metric, std::int64_t tMs);

class HistoryRecorder final : public core::Subsystem {
 public:
  static constexpr int kFlushMs = 1000;
  static constexpr int kMaintainMs = 1000;
  static constexpr int kRetryMs = 60000;
  static constexpr int kPruneRowsPerStep = 2000;
  // Readings held while the database is away; older ones are dropped (counted in the log).
  static constexpr std::size_t kMaxPending = 200000;
  static constexpr std::size_t kMaxRows = 10000;  // rows of one query answer

  HistoryRecorder(core::NodeContext& ctx, devices::DeviceRegistry& registry);
  ~HistoryRecorder() override;

  const char* name() const override { return "History"; }
  void start() override;
  void save() override { flush(); }
  void stop() override;
  void applySettings(const core::SettingsChange& change) override;

  std::filesystem::path file() const;
  bool available() const { return store_.isOpen(); }
  // Readings not written yet are written first, so an answer includes everything heard.
  bool query(const std::string& code, std::int64_t fromMs, std::int64_t toMs, Step step, std::size_t limit,
             std::vector<Point>& out, std::string& error);
  std::optional<DeviceInfo> device(const std::string& code) { return store_.device(code); }
  // A replaced sensor's history goes to its new code.
  void moveCode(const std::string& oldCode, const std::string& newCode);
  // Writes what is pending now (the timer's work).
  void flush();
  // One retention step (the timer's work).
  void maintain();
  std::size_t pending() const { return pending_.size(); }

 private:
  void heard(const devices::DeviceChange& change);
  bool openStore();
  void closeStore();
  void failed(const std::string& what, const std::string& error);

  core::NodeContext& ctx_;
  devices::DeviceRegistry& registry_;
  HistoryStore store_;
  platform::Timer flushTimer_, maintainTimer_, retryTimer_;
  std::vector<Reading> pending_;
  // Each device's last reading time: a reading in the same millisecond (a fast replay) moves one
  // millisecond on, so it never overwrites the one before.
  std::unordered_map<std::string, std::int64_t> lastMs_;
  std::uint64_t dropped_ = 0;
  int listener_ = 0;
  bool running_ = false;
  bool failing_ = false;  // the failure is logged; quiet until it works again
};

}  // namespace quillon::history
