#pragma once
// The node on a desktop: the tray icon with its menu, the settings window and the echo window;
// the last of the node's subsystems.
#include <QIcon>
#include <QMenu>
#include <memory>
#include <string>

#include "core/node.h"
#include "core/node_context.h"
#include "core/subsystem.h"
#include "ui/echo_window.h"
#include "ui/setup_form.h"
#include "ui/tray_icon.h"

namespace quillon::ui {

class Desktop final : public core::Subsystem {
 public:
  // The menu's captions, by entry index.
  static const char* const kMenuCaptions[8];

  Desktop(core::Node& node, core::NodeContext& ctx, const QIcon& icon);
  ~Desktop();
  // True when the desktop has a notification area.
  static bool trayAvailable();
  // Gives the node's menu its windows; call before the node starts.
  void install();
  const char* name() const override { return "TrayIcon"; }
  // Loads the echo window (not shown) and shows the tray icon.
  void start() override;
  // Removes the tray icon; an open settings window keeps its edits; the windows go.
  void stop() override;
  void showSettings();
  // The menu's "IO Window": the echo window shown.
  void showEcho();

  // The receive processor's line of each event and the receiver link's status line.
  void echoLine(const std::string& line);
  void linkStatus(const std::string& status);
  void linkSummary(const std::string& summary);

  TrayIcon& tray() { return tray_; }
  QMenu& menu() { return menu_; }
  SetupForm& setupForm();
  EchoWindow& echoWindow();

 private:
  core::Node& node_;
  core::NodeContext& ctx_;
  QIcon icon_;
  TrayIcon tray_;
  QMenu menu_;
  std::unique_ptr<SetupForm> setup_;
  std::unique_ptr<EchoWindow> echo_;
};

}  // namespace quillon::ui
