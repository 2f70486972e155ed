// The settings check: each problem named with its key and value, nothing flagged in sound settings.
#include "app/config_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "support/setting_samples.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

class ConfigCheckTest : public ::testing::Test {
 protected:
  ConfigCheckTest() {
    dir = test::freshTestFolder("quillon-check");
    probe.serialDevice = [this](const std::string& path) {
      auto it = devices.find(path);
      return it == devices.end() ? platform::DeviceAccess::Missing : it->second;
    };
    probe.tcpPortProblem = [](std::uint16_t port) { return port == 8080 ? std::string("in use by another program") : ""; };
    probe.interfaces = [] {
      return std::vector<platform::NetworkInterface>{{"lo", "127.0.0.1", "", true},
                                                     {"eth0", "192.168.1.20", "192.168.1.255", false}};
    };
    probe.folderWritable = [this](const std::string& f) { return !readOnly.count(f); };
    probe.findExecutable = [](const std::string& p) { return p == "rtl_433" ? "/usr/bin/rtl_433" : std::string(); };
    probe.userName = "quillon";
  }
  ~ConfigCheckTest() override { fs::remove_all(dir); }

  void write(const std::string& quillonIni, const std::string& xapIni = "[Interface]\nBroadcastAddress=127.0.0.1\n") {
    std::ofstream(dir / "Config" / "Quillon.ini") << quillonIni;
    std::ofstream(dir / "Config" / "ovkXap.ini") << xapIni;
  }
  app::ConfigReport check() { return app::checkConfig(dir.string(), QUILLON_SHARE, probe); }

  fs::path dir;
  app::ConfigProbe probe;
  std::map<std::string, platform::DeviceAccess> devices{{"/dev/ttyUSB0", platform::DeviceAccess::Ok},
                                                        {"/dev/ttyS0", platform::DeviceAccess::Ok},
                                                        {"/dev/ttyS1", platform::DeviceAccess::Denied},
                                                        {"/dev/null", platform::DeviceAccess::NotADevice}};
  std::set<std::string> readOnly;
};

TEST_F(ConfigCheckTest, SoundSettingsAndTheBundledTemplateAreClean) {
  write("[W800]\nSerialPort=/dev/ttyUSB0\nTxSerialIP=adapter.lan\nTxSerialPort=4001\nHTTPPort=8017\nDebugLog=True\n"
        "UID=FF123400\nMode=1\nDebounceInterval=2000\nPeriodicScriptInterval=90\nSensorCal=0.5\nMetric=1\n"
        "History_A1=x\nLoginUsername=me\nRain8Timeout_3=\n[Received]\na.b.c~xapbsc.event=Tag;Script\n",
        "[Interface]\nInterfaceAddress=192.168.1.0\nBroadcastAddress=192.168.1.255\nStartHub=1\n");
  auto report = check();
  EXPECT_TRUE(report.clean()) << joined(report.problems);
  EXPECT_NE(joined(report.notes).find("receiver: serial port /dev/ttyUSB0"), std::string::npos);
  EXPECT_NE(joined(report.notes).find("transmitter: TCP adapter adapter.lan port 4001"), std::string::npos);

  // The settings table's sample values, as the page and the window store them, are sound too.
  std::string w800 = "[W800]\n", mqtt = "[MQTT]\n";
  for (const core::SettingDef& d : core::settingsTable())
    (d.section == std::string("MQTT") ? mqtt : w800) += std::string(d.key) + "=" + test::settingSample(d) + "\n";
  write(w800 + mqtt);
  report = check();
  EXPECT_TRUE(report.clean()) << joined(report.problems);

  // A folder without settings is checked as the node will create it: from the template.
  fs::remove_all(dir / "Config");
  report = check();
  EXPECT_TRUE(report.clean()) << joined(report.problems);
  EXPECT_NE(joined(report.notes).find("holds no settings yet"), std::string::npos);
  EXPECT_NE(joined(report.notes).find("xAP messages go to 127.0.0.1"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "Config"));  // the check never writes
}

// Each broken setting alone gives exactly one problem, which names it.
TEST_F(ConfigCheckTest, EachProblemIsNamedOnce) {
  struct Case {
    std::string w800, xap, expected;
  };
  const std::string loop = "[Interface]\nBroadcastAddress=127.0.0.1\n";
  const std::vector<Case> cases = {
      {"SerialPort=/dev/ttyUSB7", loop, "SerialPort=/dev/ttyUSB7: the receiver port /dev/ttyUSB7 does not exist"},
      {"SerialPort=2", loop, "/dev/ttyS1 is not accessible to user quillon"},
      {"SerialPort=/dev/null", loop, "/dev/null is not a serial device"},
      {"SerialPort=COM3", loop, "SerialPort=COM3: not a serial port number"},
      {"SerialPort=4001\nSerialIP=192.168.1", loop, "SerialIP=192.168.1: the receiver's TCP adapter address does not parse"},
      {"SerialPort=4001\nSerialIP=bad_name.lan", loop, "SerialIP=bad_name.lan: the receiver's TCP adapter"},
      {"SerialPort=70000\nSerialIP=10.0.0.9", loop, "SerialPort=70000: not a TCP port number"},
      {"SerialPort=1\nSerialIP=adapter", loop, "SerialIP=adapter: not an address"},
      {"SerialPort=/dev/ttyUSB0\nSerialIP=192.168.1.50", loop,
       "SerialPort=/dev/ttyUSB0: a device path, but SerialIP=192.168.1.50 makes the receiver a TCP link"},
      {"ReceiverSilenceMinutes=soon", loop, "ReceiverSilenceMinutes=soon: not a whole number of minutes"},
      {"SerialIP=10.0.0.9", loop, "SerialPort is empty: the receiver stays closed"},
      {"Rtl433Command=rtl-433 -F json", loop, "Rtl433Command=rtl-433 -F json: rtl-433 is not an executable program on PATH"},
      {"Rtl433Command=/opt/sdr/rtl_433", loop, "Rtl433Command=/opt/sdr/rtl_433: /opt/sdr/rtl_433 is not an executable program"},
      {"Rtl433Source=tcp:127.0.0.1", loop, "Rtl433Source=tcp:127.0.0.1: not tcp:HOST:PORT"},
      {"Rtl433Source=tcp:127.0.0.1:0", loop, "Rtl433Source=tcp:127.0.0.1:0: not tcp:HOST:PORT"},
      {"Rtl433Source=/nonexistent/rtl.json", loop, "Rtl433Source=/nonexistent/rtl.json: no such file or named pipe"},
      {"TxSerialPort=/dev/ttyACM0", loop, "the transmitter port /dev/ttyACM0 does not exist"},
      {"HTTPPort=8080", loop, "HTTPPort=8080: HTTP port 8080 is in use by another program"},
      {"HTTPPort=80x", loop, "HTTPPort=80x: not a TCP port number"},
      {"DebugLog=yes", loop, "DebugLog=yes: not True, False or a number (the node reads it as false)"},
      {"UID=FF.00G2:00", loop, "UID=FF.00G2:00: not an xAP UID"},
      {"DebounceInterval=150", loop, "DebounceInterval=150: not a whole number of milliseconds from 200 to 2000"},
      {"PeriodicScriptInterval=soon", loop, "PeriodicScriptInterval=soon: not a number of seconds"},
      {"SensorCal=0", loop, "SensorCal=0: not a non-zero number"},
      {"Mode=2", loop, "Mode=2: not 0"},
      {"Metric=yes", loop, "Metric=yes: not 0 (imperial) or 1 (metric)"},
      {"SerailPort=1", loop, "[W800] SerailPort=1: unknown key"},
      {"just words", loop, "Equal sign not found on line just words"},
      {"", "[Interface]\nBroadcastAddress=10.1.2.255\n",
       "BroadcastAddress=10.1.2.255: not a broadcast address of this machine's networks (127.0.0.1, 192.168.1.20, "
       "192.168.1.255, 255.255.255.255)"},
      {"", "[Interface]\nBroadcastAddress=lan\n", "BroadcastAddress=lan: not Default or an IPv4 address"},
      {"", "[Interface]\nInterfaceAddress=10.0.0.9\nBroadcastAddress=Default\n",
       "InterfaceAddress=10.0.0.9: matches no address of this machine"},
      {"", "[Interface]\nBroadcastAddress=127.0.0.1\nStartHub=maybe\n", "StartHub=maybe: not True, False or a number"},
      {"[Received]\nno-tilde=Tag;", loop, "[Received] no-tilde: a receive filter is source~class"},
      {"[MQTT]\nEnabled=1\nHost=broker\nPort=abc", loop, "[MQTT] Port=abc: not a TCP port number"},
      {"[MQTT]\nEnabled=1\nHost=broker\nPort=70000", loop, "[MQTT] Port=70000: not a TCP port number"},
      {"[MQTT]\nEnabled=1\nHost=", loop, "[MQTT] Host=: empty"},
      {"[MQTT]\nEnabled=1\nHost=broker\nBaseTopik=home", loop, "[MQTT] BaseTopik=home: unknown key"},
      {"[MQTT]\nEnabled=1\nHost=broker\nTLS=1\nCAFile=/nonexistent/ca.pem", loop,
       "[MQTT] CAFile=/nonexistent/ca.pem: cannot read the CA file"},
  };
  for (const Case& c : cases) {
    write("[W800]\n" + c.w800 + "\n", c.xap);
    auto report = check();
    ASSERT_EQ(report.problems.size(), 1u) << c.w800 << c.xap << "\n" << joined(report.problems);
    EXPECT_NE(report.problems[0].find(c.expected), std::string::npos) << report.problems[0];
  }
}

TEST_F(ConfigCheckTest, UnreadableFilesAndFoldersTheNodeCannotWrite) {
  write("[W800]\n");
  fs::remove(dir / "Config" / "Quillon.ini");
  fs::create_directory(dir / "Config" / "Quillon.ini");  // exists, but cannot be read as a file
  readOnly.insert((dir / "Config").string());
  auto report = check();
  ASSERT_EQ(report.problems.size(), 2u) << joined(report.problems);
  const std::string all = joined(report.problems);
  EXPECT_NE(all.find("cannot read " + (dir / "Config" / "Quillon.ini").string()), std::string::npos);
  EXPECT_NE(all.find((dir / "Config").string() + " is not writable by user quillon"), std::string::npos);
  // Data does not exist yet: the node would create it in the folder, which is writable.
  EXPECT_EQ(all.find("Data is not writable"), std::string::npos);

  // A missing settings file is no problem: the node starts with the defaults.
  fs::remove(dir / "Config" / "Quillon.ini");
  readOnly.clear();
  report = check();
  EXPECT_TRUE(report.clean()) << joined(report.problems);
  EXPECT_NE(joined(report.notes).find("HTTP server on port 8017"), std::string::npos);
}

TEST(AdapterAddress, DottedQuadsAndHostNames) {
  for (const char* good : {"192.168.1.50", "adapter.lan", "rfx-1.home.example"})
    EXPECT_TRUE(app::validAdapterAddress(good)) << good;
  for (const char* bad : {"192.168.1", "256.1.1.1", "1.2.3.4.5", "-a.lan", "a..lan", "a b.lan", ""})
    EXPECT_FALSE(app::validAdapterAddress(bad)) << bad;
}

}  // namespace
