#include "app/desktop_wiring.h"

#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <filesystem>

namespace quillon::app {

QIcon nodeIcon(const std::string& templateDir) {
  const std::filesystem::path file = std::filesystem::path(templateDir) / "icons" / "quillon.png";
  QIcon icon(QString::fromStdString(file.string()));
  if (!icon.availableSizes().isEmpty()) return icon;
  QPixmap px(32, 32);
  px.fill(Qt::transparent);
  QPainter p(&px);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0x20, 0x40, 0x60));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(2, 2, 28, 28, 5, 5);
  p.setBrush(QColor(0xF0, 0xC0, 0x40));
  p.drawRect(14, 14, 4, 12);
  return QIcon(px);
}

std::unique_ptr<ui::Desktop> attachDesktop(NodeAssembly& node, const QIcon& icon,
                                           std::function<void(const std::string&)> alsoEcho) {
  auto desktop = std::make_unique<ui::Desktop>(node.node(), node.context(), icon);
  desktop->install();
  node.attachDesktop(*desktop);
  ui::Desktop* d = desktop.get();
  core::NodeContext& ctx = node.context();
  node.receiveProcessor().setEchoSink([d, &ctx, alsoEcho](const std::string& line) {
    d->echoLine(line);
    // The debug log already carries each event's line for the console.
    if (alsoEcho && !ctx.settings.debugLog) alsoEcho(line);
  });
  node.links().receiver().onStatus([d](const std::string& status) { d->linkStatus(status); });
  // Each loss and reopen of the receiver is one line among the receive events.
  node.links().receiver().onNotice([d, &ctx](const std::string& text) {
    const util::DateTime t = ctx.now();
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    d->echoLine(std::string(stamp) + " |  " + text);
  });
  // The link's summary under the status line, kept current while the node runs.
  auto* summaryTimer = new QTimer(&d->echoWindow());
  QObject::connect(summaryTimer, &QTimer::timeout, [d, &node, &ctx] {
    const rflink::LinkStatus link = node.receiverStatus();
    d->linkSummary(link.configured ? link.summary(ctx.now()) : "Receiver not configured");
  });
  summaryTimer->start(1000);
  return desktop;
}

}  // namespace quillon::app
