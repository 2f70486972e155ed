#include "ui/echo_window.h"

#include <QFontDatabase>
#include <QScrollBar>
#include <QVBoxLayout>

namespace quillon::ui {

EchoWindow::EchoWindow(QWidget* parent)
    : QWidget(parent), view_(new QPlainTextEdit), status_(new QLabel), summary_(new QLabel) {
  setWindowTitle("Quillon receiver");
  view_->setReadOnly(true);
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // The text fills the window as it is resized; the status line stays one line at the bottom.
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addWidget(status_);
  layout->addWidget(summary_);
  resize(640, 360);
}

void EchoWindow::appendLine(const std::string& line) {
  // Bytes are shown one character each, as the receiver sent them.
  text_ += QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));
  text_ += '\n';
  if (text_.size() > kMaxChars) text_ = text_.right(kMaxChars);
  if (isVisible()) refresh();  // a hidden window catches up when it is shown
}

void EchoWindow::showEvent(QShowEvent* e) {
  QWidget::showEvent(e);
  refresh();
}

void EchoWindow::refresh() {
  QScrollBar* bar = view_->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  view_->setPlainText(text_);
  if (atEnd) bar->setValue(bar->maximum());
}

void EchoWindow::setStatus(const std::string& status) {
  status_->setText(QString::fromLatin1(status.data(), static_cast<qsizetype>(status.size())));
}

}  // namespace quillon::ui

namespace quillon::ui {

void EchoWindow::setLinkSummary(const std::string& summary) {
  const QString text = QString::fromUtf8(summary.data(), static_cast<qsizetype>(summary.size()));
  if (summary_->text() != text) summary_->setText(text);
}

}  // namespace quillon::ui
