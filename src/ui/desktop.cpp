#include "ui/desktop.h"

#include <QCursor>

namespace quillon::ui {

const char* const Desktop::kMenuCaptions[8] = {"Browser", "GUI", "System Config", "System Status",
                                               "IO Window", "Help", "-", "Exit"};

Desktop::Desktop(core::Node& node, core::NodeContext& ctx, const QIcon& icon) : node_(node), ctx_(ctx), icon_(icon) {
  for (int i = 0; i < 8; ++i) {
    if (i == 6) {
      menu_.addSeparator();
      continue;
    }
    QAction* a = menu_.addAction(kMenuCaptions[i]);
    // Exit leaves the event loop; it runs after the menu has closed.
    QObject::connect(a, &QAction::triggered, &menu_, [this, i] { node_.menuClick(i); }, Qt::QueuedConnection);
  }
  tray_.setCallback([this](int m) { return node_.trayIconCallback(m); });
  tray_.setMenu([this] { menu_.popup(QCursor::pos()); });
}

Desktop::~Desktop() = default;

bool Desktop::trayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

SetupForm& Desktop::setupForm() {
  if (!setup_) setup_ = std::make_unique<SetupForm>(ctx_.ini, [this] { node_.reReadSettings(); });
  return *setup_;
}

EchoWindow& Desktop::echoWindow() {
  if (!echo_) echo_ = std::make_unique<EchoWindow>();
  return *echo_;
}

void Desktop::install() {
  node_.setWindows([this] { showSettings(); }, [this] { showEcho(); });
}

void Desktop::start() {
  echoWindow();
  tray_.update(true, icon_, "Quillon");
}

void Desktop::stop() {
  tray_.update(false, icon_, QString());
  if (setup_ && setup_->isVisible()) setup_->save(false);
  setup_.reset();
  echo_.reset();
}

void Desktop::showSettings() {
  SetupForm& f = setupForm();
  f.show();
  f.raise();
}

void Desktop::showEcho() {
  EchoWindow& w = echoWindow();
  w.show();
  w.raise();
}

void Desktop::echoLine(const std::string& line) {
  if (echo_) echo_->appendLine(line);
}

void Desktop::linkStatus(const std::string& status) {
  if (echo_) echo_->setStatus(status);
}

void Desktop::linkSummary(const std::string& summary) {
  if (echo_) echo_->setLinkSummary(summary);
}

}  // namespace quillon::ui
