#include "ui/tray_icon.h"

namespace quillon::ui {

namespace {
constexpr int kLeftDown = 513, kLeftUp = 514, kLeftDouble = 515, kRightDown = 516, kRightUp = 517;
constexpr int kFirstForwarded = 513, kLastForwarded = 518;
constexpr int kTooltipChars = 63;  // the fixed tip field holds 64 with its terminator
}  // namespace

TrayIcon::TrayIcon(QObject* parent) : QObject(parent), icon_(std::make_unique<QSystemTrayIcon>()) {
  connect(icon_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    for (int m : messagesFor(r)) forward(m);
  });
}

TrayIcon::~TrayIcon() { update(false, QIcon(), QString()); }

void TrayIcon::update(bool show, const QIcon& icon, const QString& tooltip) {
  if (!show) {
    if (shown_) icon_->hide();
    shown_ = false;
    return;
  }
  icon_->setIcon(icon);
  icon_->setToolTip(tooltip.left(kTooltipChars));
  if (!shown_) {
    icon_->show();
    ++adds_;
  }
  shown_ = true;
}

void TrayIcon::forward(int mouseMessage) {
  if (mouseMessage < kFirstForwarded || mouseMessage > kLastForwarded || busy_ || !callback_) return;
  busy_ = true;
  struct Release { bool& b; ~Release() { b = false; } } release{busy_};
  if (callback_(mouseMessage) && popUp_) popUp_();
}

std::vector<int> TrayIcon::messagesFor(QSystemTrayIcon::ActivationReason reason) {
  switch (reason) {
    case QSystemTrayIcon::Trigger: return {kLeftDown, kLeftUp};
    case QSystemTrayIcon::DoubleClick: return {kLeftDouble};
    case QSystemTrayIcon::Context: return {kRightDown, kRightUp};
    default: return {};  // the middle button is not a message the node knows
  }
}

}  // namespace quillon::ui
