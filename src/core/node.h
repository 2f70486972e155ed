#pragma once
// The node's main form: start-up and shutdown over its ordered list of subsystems, the settings
// re-read and reload, the tray menu.
#include <functional>
#include <string>
#include <vector>

#include "core/node_context.h"
#include "core/subsystem.h"
#include "platform/event_loop.h"

namespace quillon::core {

class Node {
 public:
  explicit Node(NodeContext& ctx);

  // The subsystems in start-up order (shutdown goes backward); set before start().
  void setSubsystems(std::vector<Subsystem*> subsystems) { subsystems_ = std::move(subsystems); }
  const std::vector<Subsystem*>& subsystems() const { return subsystems_; }
  // Settings this run replaces after every read (a replay feed's receiver); may be empty.
  void setRunOverrides(std::function<void(Settings&)> fn) { overrides_ = std::move(fn); }
  // What the tray menu's "GUI" and "IO Window" open; empty without a desktop.
  void setWindows(std::function<void()> showSettings, std::function<void()> showEcho) {
    showSettings_ = std::move(showSettings), showEcho_ = std::move(showEcho);
  }

  // Runs the whole start-up; false when a step failed (the rest is skipped, the node runs on).
  bool start();
  // Runs the shutdown once; every step is attempted whatever happened before.
  void shutdown();
  // The settings window's re-read: every key of the settings file into the running node, then
  // every subsystem applies what changed (what applies only at the next start is logged).
  void reReadSettings();
  // The running settings changed from `before` (the setup page saved them): this run's overrides
  // go on top, then every subsystem applies what changed.
  void applySettings(const Settings& before);
  // The reload request (SIGHUP): the settings re-read, then the scripts reloaded.
  void reload();
  void setScriptReload(std::function<void()> fn) { reloadScripts_ = std::move(fn); }
  // Mouse message of the tray icon: 0x202 and 0x205 pop up the menu.
  bool trayIconCallback(int mouseMessage);
  // A tray-menu entry: 0 Browser, 1 GUI, 2/3 nothing, 4 IO Window, 5 Help, 7 Exit.
  void menuClick(int index);

  bool stopped() const { return stopped_; }
  std::string statusPageUrl() const;
  std::string helpUrl() const;

  // The node's own place in the list: reads the settings at start-up, flushes them at shutdown.
  Subsystem& settingsStep() { return settingsStep_; }

 private:
  class SettingsStep final : public Subsystem {
   public:
    explicit SettingsStep(Node& node) : node_(node) {}
    const char* name() const override { return "FlushIniCache"; }
    void start() override { node_.readSettings(); }
    void save() override;

   private:
    Node& node_;
  };

  void prepareFolders();
  void readSettings();

  NodeContext& ctx_;
  std::vector<Subsystem*> subsystems_;
  SettingsStep settingsStep_{*this};
  std::function<void(Settings&)> overrides_;
  std::function<void()> showSettings_, showEcho_, reloadScripts_;
  bool stopped_ = false;
  platform::Timer logTimer_;  // once a second: the log's flush and its summaries
};

}  // namespace quillon::core
