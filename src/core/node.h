#pragma once
// The node's main form: start-up in its fixed order, the xAP message drain, the tray menu and the
// orderly shutdown. Subsystems are reached through seams that the assembly fills.
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/node_context.h"
#include "platform/event_loop.h"

namespace quillon::core {

using XapItems = std::vector<std::pair<std::string, std::string>>;

// Each seam is optional: a subsystem that is not there is skipped.
struct NodeSeams {
  // Start-up, in the order they are called.
  std::function<void()> createApplication;  // the script object model: engine, `xap`, main script
  std::function<void()> startHttpServer;
  std::function<int()> initXapTransport;  // binds the sockets; returns the port or <= 0
  std::function<void(int)> sendHeartbeat;
  std::function<void(const std::string& cls, const std::string& block, const XapItems& items)> sendXap;
  std::function<void()> loadEchoWindow;
  std::function<void()> loadTagStore;      // tag store from sections Devices and Device Messages
  std::function<bool()> openReceiver;      // returns true when the receiver link is open
  std::function<void()> loadDevices;       // device records of W800Units and their tag index
  std::function<void(const PeriodicSchedule&)> armPeriodicScript;
  std::function<void()> initLinks;         // receiver (if not yet open) and transmitter
  std::function<bool()> receiverOpen;
  std::function<void(const std::string& bytes)> sendToReceiver;
  std::function<void()> loadTimerForm;
  std::function<void()> showTrayIcon;
  // The message drain.
  std::function<std::string()> getMessage;  // empty when the queue is empty
  std::function<void(const std::string&)> dispatchMessage;
  // Shutdown, in the order they are called.
  std::function<void()> saveLastChange;
  std::function<void()> saveDeviceDictionary;
  std::function<void()> removeTrayIcon;
  std::function<void()> unloadSetupForm;
  std::function<void()> closeLinks;
  std::function<void()> unloadEchoWindow;
  std::function<void()> closeXapTransport;
  std::function<void()> stopHttpServer;
  std::function<void()> showSetupForm;
  // Re-reading the settings into the running node.
  std::function<void()> applyRunOverrides;  // settings this run replaces (a replay feed's receiver)
  std::function<void()> reopenReceiver;     // its port or address changed
  std::function<void()> reopenTransmitter;
  std::function<void()> reloadScripts;      // InitScriptControl: engine reset, main script read again
  std::function<void(const std::string&)> setXapUid;  // the transport announces the new UID
  std::function<void()> settingsRead;  // every key was read (start-up) or re-read
};

class Node {
 public:
  Node(NodeContext& ctx, NodeSeams seams) : ctx_(ctx), seams_(std::move(seams)), logTimer_(ctx.platform.loop()) {}

  // Runs the whole start-up; false when a step failed (the rest is skipped, the node runs on).
  bool start();
  // Runs the shutdown once; every step is attempted whatever happened before.
  void shutdown();
  // The settings window's re-read: every key of the settings file into the running node, the
  // receive filters, the periodic script when its interval changed, and each RF link reopened
  // only when its own port or address changed, the xAP UID. What applies only at the next start is
  // logged.
  void reReadSettings();
  // The reload request (SIGHUP): the settings re-read, then the scripts reloaded.
  void reload();
  // Drains the received xAP messages; a nested call returns at once.
  void onMessage();
  // Mouse message of the tray icon: 0x202 and 0x205 pop up the menu.
  bool trayIconCallback(int mouseMessage);
  // A tray-menu entry: 0 Browser, 1 GUI, 2/3 nothing, 4 IO Window, 5 Help, 7 Exit.
  void menuClick(int index);

  NodeSeams& seams() { return seams_; }
  bool stopped() const { return stopped_; }
  std::string statusPageUrl() const;
  std::string helpUrl() const;

 private:
  void initXap();
  void initHw();

  NodeContext& ctx_;
  NodeSeams seams_;
  bool inMessageDrain_ = false;
  bool stopped_ = false;
  platform::Timer logTimer_;  // once a second: the log's flush and its summaries
  std::string runningHttpPort_ = "8017";  // the port the HTTP server took at start
};

}  // namespace quillon::core
