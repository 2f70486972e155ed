// A node with its desktop on a real window system (Xvfb under ctest when it is installed, else
// Qt's offscreen platform): the tray menu's entries open and save the settings window, show the
// replayed receiver lines in the echo window and end the node through the orderly shutdown.
// Screenshots of the windows go to the working folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/desktop_wiring.h"
#include "platform/qt/qt_platform.h"
#include "support/node_process.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 10000) {
  QElapsedTimer t;
  t.start();
  while (!done() && t.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

TEST(DesktopSession, MenuOpensSavesShowsAndExits) {
  int argc = 1;
  char name[] = "ui_session_tests";
  char* argv[] = {name};
  QApplication app(argc, argv);

  const fs::path share = QUILLON_SOURCE_SHARE_DIR;
  const fs::path dir = fs::temp_directory_path() / "quillon-desktop-session";
  fs::remove_all(dir);
  fs::copy(share, dir, fs::copy_options::recursive);
  quint16 httpPort;
  {
    QTcpServer probe;  // a free loopback port for the page links
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    httpPort = probe.serverPort();
  }
  std::string ini = test::readWholeFile(dir / "Config" / "Quillon.ini");
  ini.replace(ini.find("[W800]\n"), 7, "[W800]\nhttpport=" + std::to_string(httpPort) + "\n");
  std::ofstream(dir / "Config" / "Quillon.ini", std::ios::trunc) << ini;

  auto platform = platform::createQtPlatform();
  app::NodeOptions options;
  options.replayFile = (share / "replay" / "house.txt").string();
  options.replaySpeed = 0;
  app::NodeAssembly node(*platform, core::AppPaths{dir.string(), ""}, options);
  auto desktop = app::attachDesktop(node, app::nodeIcon(share.string()));
  ASSERT_TRUE(node.start());
  EXPECT_TRUE(desktop->tray().shown());

  // A left click on the icon pops up the menu.
  desktop->tray().forward(513);
  desktop->tray().forward(514);
  ASSERT_TRUE(waitFor([&] { return desktop->menu().isVisible(); }, 2000));
  desktop->menu().grab().save("desktop-menu.png");
  desktop->menu().hide();

  auto entry = [&](int index) {
    desktop->menu().actions()[index]->trigger();
    QApplication::processEvents();
  };
  entry(1);  // "GUI"
  ui::SetupForm& form = desktop->setupForm();
  ASSERT_TRUE(waitFor([&] { return form.isVisible(); }, 2000));
  EXPECT_EQ(form.field("httpport")->text().toStdString(), std::to_string(httpPort));
  form.field("debounceinterval")->setText("1200");
  form.grab().save("desktop-settings.png");
  form.close();
  EXPECT_NE(test::readWholeFile(dir / "Config" / "Quillon.ini").find("DebounceInterval=1200"), std::string::npos);
  EXPECT_EQ(node.context().settings.debounceInterval, 1200);

  entry(4);  // "IO Window"
  ui::EchoWindow& echo = desktop->echoWindow();
  ASSERT_TRUE(waitFor([&] { return echo.isVisible() && echo.shownText().count('\n') >= 5; }));
  EXPECT_TRUE(echo.shownText().contains(" |  "));
  echo.grab().save("desktop-echo.png");

  // "Exit": the orderly shutdown, then the event loop ends.
  QTimer::singleShot(0, [&] { entry(7); });
  QTimer::singleShot(10000, [&] { app.exit(3); });  // bound: a missing exit fails, not hangs
  EXPECT_EQ(app.exec(), 0);
  EXPECT_TRUE(node.node().stopped());
  EXPECT_FALSE(desktop->tray().shown());
  EXPECT_NE(test::readWholeFile(dir / "Config" / "Quillon.ini").find("\n1234=1234~"), std::string::npos);  // records saved at exit
  desktop.reset();
  fs::remove_all(dir);
}

}  // namespace
