#pragma once
// The receiver echo window: one line per receive event (and per loss or reopen of the link), cut
// to the last 10,000 characters, the receiver link's status line and its summary under it.
#include <QLabel>
#include <QPlainTextEdit>
#include <QWidget>
#include <string>

namespace quillon::ui {

class EchoWindow : public QWidget {
 public:
  static constexpr int kMaxChars = 10000;

  explicit EchoWindow(QWidget* parent = nullptr);
  void appendLine(const std::string& line);
  void setStatus(const std::string& status);
  // "Receiver open on /dev/ttyUSB0 since … · bytes, packets, last packet · reconnects" (UTF-8).
  void setLinkSummary(const std::string& summary);
  QString text() const { return text_; }
  QString status() const { return status_->text(); }
  QString linkSummary() const { return summary_->text(); }
  QString shownText() const { return view_->toPlainText(); }

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  void refresh();

  QPlainTextEdit* view_;
  QLabel* status_;
  QLabel* summary_;
  QString text_;
};

}  // namespace quillon::ui
