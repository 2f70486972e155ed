#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <fstream>

#include "core/node.h"
#include "support/fake_platform.h"
#include "support/node_process.h"
#include "support/setting_samples.h"
#include "support/test_folder.h"
#include "ui/desktop.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

class DesktopTest : public ::testing::Test {
 protected:
  DesktopTest() {
    dir = test::freshTestFolder("quillon-ui");
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nSerialPort=/dev/ttyUSB0\nhttpport=8017\n";
    paths.appFolder = dir.string();
    ctx = std::make_unique<core::NodeContext>(platform, paths);
    core::initIniKeys(ctx->settings, ctx->ini);
    node = std::make_unique<core::Node>(*ctx);
    node->setSubsystems({&links});
  }
  // Stands in for the links: counts the re-reads that changed the receiver's port.
  struct Links final : core::Subsystem {
    explicit Links(int& n) : reopened(n) {}
    const char* name() const override { return "links"; }
    void applySettings(const core::SettingsChange& c) override { reopened += c.now.serialPort != c.before.serialPort; }
    int& reopened;
  };
  ~DesktopTest() override { fs::remove_all(dir); }
  std::string settingsFile() { return test::readWholeFile(dir / "Config" / "Quillon.ini"); }

  fs::path dir;
  test::FakePlatform platform;
  core::AppPaths paths;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<core::Node> node;
  int reopened = 0;
  Links links{reopened};
};

TEST_F(DesktopTest, ClicksBecomeMouseMessagesOneAtATime) {
  using R = QSystemTrayIcon::ActivationReason;
  EXPECT_EQ(ui::TrayIcon::messagesFor(R::Trigger), (std::vector<int>{513, 514}));
  EXPECT_EQ(ui::TrayIcon::messagesFor(R::DoubleClick), (std::vector<int>{515}));
  EXPECT_EQ(ui::TrayIcon::messagesFor(R::Context), (std::vector<int>{516, 517}));
  EXPECT_TRUE(ui::TrayIcon::messagesFor(R::MiddleClick).empty());

  ui::TrayIcon tray;
  std::vector<int> seen;
  int menus = 0;
  tray.setMenu([&] { ++menus; });
  tray.setCallback([&](int m) {
    seen.push_back(m);
    tray.forward(515);  // arrives while this one is handled: dropped
    return m == 0x202 || m == 0x205;
  });
  for (int m : {512, 513, 514, 515, 517, 518, 519}) tray.forward(m);
  EXPECT_EQ(seen, (std::vector<int>{513, 514, 515, 517, 518}));
  EXPECT_EQ(menus, 2);  // left and right button released

  QPixmap px(16, 16);
  px.fill(Qt::green);
  tray.update(true, QIcon(px), QString(80, 'x'));
  tray.update(true, QIcon(px), "second");
  EXPECT_TRUE(tray.shown());
  EXPECT_EQ(tray.addCount(), 1);  // the second update modifies the icon
  tray.update(false, QIcon(), QString());
  EXPECT_FALSE(tray.shown());
}

TEST_F(DesktopTest, EchoWindowKeepsTheLastTenThousandCharacters) {
  ui::EchoWindow w;
  for (int i = 0; i < 2000; ++i) w.appendLine("12:00:0" + std::to_string(i % 10) + " |  line " + std::to_string(i));
  EXPECT_LE(w.text().size(), ui::EchoWindow::kMaxChars);
  EXPECT_TRUE(w.text().endsWith("line 1999\n"));
  EXPECT_TRUE(w.shownText().isEmpty());  // a hidden window is not redrawn per line
  w.show();
  EXPECT_EQ(w.shownText().trimmed(), w.text().trimmed());
  w.setStatus("Receiver opened on /dev/ttyUSB0");
  EXPECT_EQ(w.status(), "Receiver opened on /dev/ttyUSB0");
}

TEST_F(DesktopTest, SettingsWindowRoundTripsAndReopensOnlyOnAPortChange) {
  ui::Desktop desktop(*node, *ctx, QIcon());
  desktop.install();
  node->menuClick(1);  // "GUI"
  ui::SetupForm& form = desktop.setupForm();
  ASSERT_TRUE(form.isVisible());
  EXPECT_EQ(form.field("SerialPort")->text(), "/dev/ttyUSB0");
  EXPECT_EQ(form.field("styleSheet")->text(), "StyleNoBody.css");  // an absent key shows its default

  form.field("debounceinterval")->setText("1500");
  form.close();
  EXPECT_NE(settingsFile().find("DebounceInterval=1500"), std::string::npos);
  EXPECT_EQ(settingsFile().find("TxSerialPort"), std::string::npos);  // shown default, unchanged: not written
  EXPECT_EQ(ctx->settings.debounceInterval, 1500);  // taken into the running node
  EXPECT_EQ(reopened, 0);

  node->menuClick(1);  // "GUI"
  form.field("SerialPort")->setText("/dev/ttyUSB1");
  form.close();
  EXPECT_NE(settingsFile().find("SerialPort=/dev/ttyUSB1"), std::string::npos);
  EXPECT_EQ(reopened, 1);
}

// Each key of the window: an absent key shows the table's default (and help as tooltip); a typed
// sample is stored as typed and loads back as written.
TEST_F(DesktopTest, EverySettingOfTheWindowRoundTrips) {
  ctx->ini.clearIniSection(core::kSettingsSection, core::kSettingsFile);
  ui::SetupForm form(ctx->ini, {});
  form.load();
  for (const core::SettingDef& d : core::settingsTable()) {
    if (!(d.surfaces & core::kSettingsWindow)) continue;
    QLineEdit* edit = form.field(d.key);
    ASSERT_NE(edit, nullptr) << d.key;
    EXPECT_EQ(edit->text().toStdString(), d.def) << d.key;
    EXPECT_TRUE(edit->toolTip().startsWith(QString::fromUtf8(d.help))) << d.key;
    edit->setText(QString::fromStdString(test::settingSample(d)));
  }
  form.save(false);
  core::Settings loaded;
  core::initIniKeys(loaded, ctx->ini);
  core::setIniValue(loaded, ctx->ini, "ServerPort");
  for (const core::SettingDef& d : core::settingsTable()) {
    if (!(d.surfaces & core::kSettingsWindow)) continue;
    EXPECT_EQ(ctx->ini.getIniSetting(d.section, d.key, "", d.file), test::settingSample(d)) << d.key;
    EXPECT_EQ(d.value(loaded), test::settingSample(d)) << d.key;
  }
}

TEST_F(DesktopTest, MenuEntriesAndWindowsFollowTheMainForm) {
  ui::Desktop desktop(*node, *ctx, QIcon());
  desktop.install();
  QStringList captions;
  for (QAction* a : desktop.menu().actions()) captions << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(captions.join(","), "Browser,GUI,System Config,System Status,IO Window,Help,-,Exit");

  desktop.start();  // start-up: the echo window loaded, not shown; the tray icon shown
  desktop.echoLine("12:00:00 |  X10 A1 ON");
  EXPECT_FALSE(desktop.echoWindow().isVisible());
  desktop.menu().actions()[4]->trigger();  // "IO Window"
  QApplication::processEvents();
  EXPECT_TRUE(desktop.echoWindow().isVisible());
  EXPECT_TRUE(desktop.echoWindow().shownText().contains("X10 A1 ON"));

  EXPECT_TRUE(desktop.tray().shown());
  desktop.stop();
  EXPECT_FALSE(desktop.tray().shown());
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);  // lives until every widget of the tests is gone
  return RUN_ALL_TESTS();
}
