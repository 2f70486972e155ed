#include "app/desktop_wiring.h"

#include <QPainter>
#include <QPixmap>
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
  ui::Desktop* d = desktop.get();
  core::NodeContext& ctx = node.context();
  node.receiveProcessor().setEchoSink([d, &ctx, alsoEcho](const std::string& line) {
    d->echoLine(line);
    // The debug log already carries each event's line for the console.
    if (alsoEcho && !ctx.settings.debugLog) alsoEcho(line);
  });
  node.links().receiver().onStatus([d](const std::string& status) { d->linkStatus(status); });
  return desktop;
}

}  // namespace quillon::app
