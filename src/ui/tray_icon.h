#pragma once
// The node's icon in the notification area. Its clicks reach the main form as the mouse-message
// numbers it expects (513 left down … 518 right double-click), one at a time.
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>
#include <vector>

namespace quillon::ui {

class TrayIcon : public QObject {
 public:
  // The main form's handler; returns true when the message asks for the menu.
  using Callback = std::function<bool(int mouseMessage)>;

  explicit TrayIcon(QObject* parent = nullptr);
  ~TrayIcon() override;  // removes the icon

  void setCallback(Callback cb) { callback_ = std::move(cb); }
  // The menu shown when the callback asks for it.
  void setMenu(std::function<void()> popUp) { popUp_ = std::move(popUp); }
  // Shows the icon (added once, modified after) with the tooltip, cut to 63 characters; hides it.
  void update(bool show, const QIcon& icon, const QString& tooltip);
  bool shown() const { return shown_; }
  int addCount() const { return adds_; }

  // Forwards one mouse message; messages outside 513-518 and messages that arrive while one
  // is being handled are dropped.
  void forward(int mouseMessage);
  // The mouse messages a click on the icon stands for.
  static std::vector<int> messagesFor(QSystemTrayIcon::ActivationReason reason);

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
  Callback callback_;
  std::function<void()> popUp_;
  bool shown_ = false;
  bool busy_ = false;
  int adds_ = 0;
};

}  // namespace quillon::ui
