#pragma once
// Puts a running node on the desktop: its tray icon and menu, the settings window and the echo
// window fed by the receive processor and the receiver link.
#include <memory>
#include <string>

#include "app/node_assembly.h"
#include "ui/desktop.h"

namespace quillon::app {

// The icon of the tray and the windows: share/icons/quillon.png of the template folder, or a
// plain drawn one when the file is missing.
QIcon nodeIcon(const std::string& templateDir);

// Builds the desktop and puts it at the end of the node's subsystems; call before the node starts.
// The receive processor's lines still reach `alsoEcho` (the console in verbose mode) when it is set.
std::unique_ptr<ui::Desktop> attachDesktop(NodeAssembly& node, const QIcon& icon,
                                           std::function<void(const std::string&)> alsoEcho = {});

}  // namespace quillon::app
