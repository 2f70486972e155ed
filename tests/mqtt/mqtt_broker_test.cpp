// The MQTT bridge against Debian's mosquitto, started by each test on a free loopback port: the
// node replays a feed, a subscribing client checks discovery and state, sends set commands, and
// the broker goes away and comes back; wrong credentials; the last will of a killed node.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/node_assembly.h"
#include "mqtt/mqtt_client.h"
#include "platform/qt/qt_platform.h"
#include "support/qt_wait.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using test::waitFor;

namespace {

const char* kMosquitto = "/usr/sbin/mosquitto";

std::uint16_t freePort() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost, 0);
  return s.serverPort();
}

struct Broker {
  fs::path dir;
  std::uint16_t port = freePort();
  QProcess proc;
  std::string extra;
  bool start() {
    std::ofstream(dir / "mosquitto.conf") << "listener " << port << " 127.0.0.1\npersistence false\n"
                                          << (extra.empty() ? "allow_anonymous true\n" : extra);
    proc.start(kMosquitto, {"-c", QString::fromStdString((dir / "mosquitto.conf").string())});
    return waitFor([&] {
      QTcpSocket s;
      s.connectToHost(QHostAddress::LocalHost, port);
      return s.waitForConnected(100);
    });
  }
  void stop() {
    proc.terminate();
    proc.waitForFinished(3000);
  }
  ~Broker() { stop(); }
};

// A subscribing client on the same loop: every message, and the last payload per topic.
struct Subscriber {
  mqtt::MqttClient client;
  std::map<std::string, std::string> last;
  explicit Subscriber(platform::Platform& p, std::uint16_t port) : client(p, [](const std::string&) {}) {
    client.onConnected([this] { client.subscribe("#"); });
    client.onMessage([this](const std::string& t, const std::string& m, bool) { last[t] = m; });
    mqtt::ClientOptions o;
    o.port = port;
    o.clientId = "test-subscriber";
    o.retryMinMs = 50;
    o.retryMaxMs = 200;
    client.start(o);
  }
  bool has(const std::string& topic) const { return last.contains(topic); }
  std::string get(const std::string& topic) const { return has(topic) ? last.at(topic) : "<none>"; }
};

// A transmitter adapter: keeps what the node writes to it.
struct Adapter {
  QTcpServer server;
  std::string received;
  Adapter() {
    server.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server, &QTcpServer::newConnection, [this] {
      while (QTcpSocket* s = server.nextPendingConnection())
        QObject::connect(s, &QTcpSocket::readyRead, [this, s] { received += s->readAll().toStdString(); });
    });
  }
};

class MqttBrokerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kMosquitto)) GTEST_SKIP() << "mosquitto is not installed";
    if (std::getenv("QUILLON_MQTT_CHILD_DIR")) return;
    dir = test::freshTestFolder("quillon-mqtt");
    broker.dir = dir;
    ASSERT_TRUE(broker.start());
    std::ofstream(dir / "Config" / "ovkXap.ini") << "[Interface]\nInterfaceAddress=127.0.0.1\nBroadcastAddress=127.0.0.1\n";
    std::ofstream(dir / "replay.txt") << "# mode: 48\n0.0 2C\n0.1 20 60 9F 00 FF\n0.2 20 21 D0 15 81\n"
                                         "0.3 50 1A 2D 10 E5 02 21 50 38 39 4B\n0.4 22 A1 B2 03 10 00\n";
  }
  void TearDown() override {
    if (!std::getenv("QUILLON_MQTT_CHILD_DIR")) fs::remove_all(dir);
  }

  void settings(const std::string& mqtt) {
    std::ofstream(dir / "Config" / "Quillon.ini")
        << "[W800]\nMode=1\nMetric=1\nDebugLog=1\nHTTPPort=0\nTxSerialIP=127.0.0.1\nTxSerialPort="
        << transmitter.server.serverPort() << "\n[MQTT]\nEnabled=1\nPort=" << broker.port << "\n" << mqtt
        << "[W800Units]\n21D0=21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~\n"
           "1A2D_1E5_P=1A2D_1E5_P~0~~False~~~Garden~1A2D31453550~False~True~False~0~~Battery~False~4.7~\n"
           "A1B2_003_S=A1B2_003_S~0~~False~~~Attic~A1B2303033~False~True~False~0~~Switch~False~4.7~\n"
           "A1=A1~0~~False~~~Hall~~False~False~True~0~~~False~4.7~\n"
           "1A89_21B_D=1A89_21B_D~0~~False~~~Roof~1A89_21B_D~False~True~False~0~~WindDirection~False~4.7~\n"
           "EC70_170=EC70_170~0~~False~~~Garden~EC70_170~False~True~False~0~~UV~False~4.7~\n"
           "[W800Values]\n1A89_21B_D=270\nEC70_170=3\n";
  }
  std::unique_ptr<app::NodeAssembly> node() {
    app::NodeOptions o;
    o.replayFile = (dir / "replay.txt").string();
    o.replaySpeed = 0;
    auto n = std::make_unique<app::NodeAssembly>(*platform, core::AppPaths{dir.string(), ""}, o);
    n->mqtt().setRetry(50, 200);
    return n;
  }
  std::string log() const {
    std::ifstream in(dir / "Data" / "Quillon.txt");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  int count(const std::string& text) const {
    int n = 0;
    const std::string l = log();
    for (std::size_t at = l.find(text); at != std::string::npos; at = l.find(text, at + 1)) ++n;
    return n;
  }

  int argc = 1;
  char name[20] = "mqtt_broker_tests";
  char* argv[1] = {name};
  QCoreApplication app{argc, argv};
  std::unique_ptr<platform::Platform> platform = platform::createQtPlatform();
  fs::path dir;
  Broker broker;
  Adapter transmitter;
};

TEST_F(MqttBrokerTest, DiscoveryStateCommandsAndCleanShutdown) {
  settings("");
  auto n = node();
  ASSERT_TRUE(n->start());
  const std::string host = n->context().computerName, base = "quillon/" + host, ha = "homeassistant/";
  Subscriber sub(*platform, broker.port);
  const std::string tempConfig = ha + "sensor/quillon_" + host + "/21D0/config";
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/21D0/state").find("21.5") != std::string::npos && sub.has(tempConfig); }));
  // Both the node and the device must be available (a stale device is not).
  auto tail = [&](const std::string& code) {
    return R"("availability":[{"topic":")" + base + R"(/status","payload_available":"online",)"
           R"("payload_not_available":"offline"},{"topic":")" + base + "/" + code +
           R"(/availability","payload_available":"online","payload_not_available":"offline"}],)"
           R"("availability_mode":"all",)";
  };
  auto entityId = [&](const std::string& component, const std::string& code) {
    std::string id = component + ".quillon_" + host + "_" + code;
    for (char& c : id) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return R"("default_entity_id":")" + id + "\",";
  };
  // Every entity names the node (with its version) and who announced it.
  const std::string version = QUILLON_VERSION_TEXT;
  const std::string device = R"("device":{"identifiers":["quillon_)" + host + R"("],"name":"Quillon )" + host +
                             R"(","manufacturer":"Quillon","model":"RF gateway node","sw_version":")" + version +
                             R"("},"origin":{"name":"Quillon","sw_version":")" + version + R"("}})";
  EXPECT_EQ(sub.get(tempConfig), R"({"name":"Lounge Temperature 21D0","unique_id":"quillon_)" + host + R"(_21D0",)" +
                                     entityId("sensor", "21D0") + R"("state_topic":")" + base + "/21D0/state\"," +
                                     tail("21D0") +
                                     R"("value_template":"{{ value_json.value }}","device_class":"temperature",)"
                                     R"("state_class":"measurement","unit_of_measurement":"°C",)" + device);
  EXPECT_EQ(sub.get(ha + "binary_sensor/quillon_" + host + "/A1B2_003_S/config"),
            R"({"name":"Attic Switch A1B2_003_S","unique_id":"quillon_)" + host + R"(_A1B2_003_S",)" +
                entityId("binary_sensor", "A1B2_003_S") + R"("state_topic":")" + base + "/A1B2_003_S/state\"," +
                tail("A1B2_003_S") +
                R"("value_template":"{{ value_json.state }}","payload_on":"ON","payload_off":"OFF","device_class":"door",)" +
                device);
  EXPECT_NE(sub.get(ha + "binary_sensor/quillon_" + host + "/1A2D_1E5_P/config").find(R"("device_class":"battery")"),
            std::string::npos);
  // Statistics for wind direction (an angle) and UV (no device class); their values from before.
  ASSERT_TRUE(waitFor([&] { return sub.has(ha + "sensor/quillon_" + host + "/EC70_170/config"); }));
  EXPECT_NE(sub.get(ha + "sensor/quillon_" + host + "/1A89_21B_D/config")
                .find(R"("device_class":"wind_direction","state_class":"measurement_angle","unit_of_measurement":"°")"),
            std::string::npos);
  EXPECT_NE(sub.get(ha + "sensor/quillon_" + host + "/EC70_170/config").find(R"("state_class":"measurement")"),
            std::string::npos);
  EXPECT_NE(sub.get(base + "/EC70_170/state").find(R"("value":3.0,)"), std::string::npos);
  const std::string a1Config = ha + "switch/quillon_" + host + "/A1/config";
  EXPECT_EQ(sub.get(a1Config), R"({"name":"Hall A1","unique_id":"quillon_)" + host + R"(_A1",)" +
                                   entityId("switch", "A1") + R"("state_topic":")" + base + "/A1/state\"," + tail("A1") +
                                   R"("value_template":"{{ value_json.state }}","state_on":"ON","state_off":"OFF",)"
                                   R"("command_topic":")" + base + R"(/A1/set","payload_on":"ON","payload_off":"OFF",)"
                                   R"("optimistic":true,)" + device);
  const std::string state = sub.get(base + "/21D0/state");
  EXPECT_EQ(state.substr(0, state.find("\"last_change\"")),
            R"({"code":"21D0","type":"Temperature","location":"Lounge","state":null,"value":21.5,"unit":"°C","battery":null,)");
  EXPECT_EQ(sub.get(base + "/status"), "online");
  // The receiver (here the replayed recording) has its availability, its link state and a
  // connectivity sensor.
  ASSERT_TRUE(waitFor([&] { return !sub.get(base + "/receiver/status").empty(); }));
  EXPECT_NE(sub.get(base + "/receiver/state").find(R"("role":"receiver","state":)"), std::string::npos);
  EXPECT_NE(sub.get(ha + "binary_sensor/quillon_" + host + "/receiver/config").find(R"("device_class":"connectivity")"),
            std::string::npos);

  // A set command takes the transmitter path, is logged and its state published at once (Home
  // Assistant's switch does not snap back); anything else is refused and the node goes on. A
  // retained command is never acted on.
  sub.client.publish(base + "/A1/set", "dim please", false);
  sub.client.publish(base + "/21D0/set", "ON", false);
  sub.client.publish(base + "/A1/set", "on", false);
  ASSERT_TRUE(waitFor([&] { return transmitter.received == "A1 ON"; }));
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/A1/state").find(R"("state":"ON")") != std::string::npos; }));
  EXPECT_EQ(count("refused: expected ON or OFF"), 1);
  EXPECT_EQ(count("for 21D0 refused"), 1);
  EXPECT_EQ(count("command sent \"on\" for A1 as \"A1 ON\""), 1);
  // A command left retained on the broker reaches the node at its next connect: not acted on.
  n->mqtt().stop();
  sub.client.publish(base + "/A1/set", "OFF", true);
  n->mqtt().start();
  ASSERT_TRUE(waitFor([&] { return count("retained command on " + base + "/A1/set ignored") == 1; }));
  EXPECT_EQ(transmitter.received, "A1 ON");
  sub.client.publish(base + "/A1/set", "", true);  // cleared

  // A device taken out of use has its config cleared.
  n->registry().device("A1")->setLocation("");
  n->registry().device("A1")->setInUse(false);
  n->mqtt().refresh();
  ASSERT_TRUE(waitFor([&] { return sub.get(a1Config).empty(); }));

  n->shutdown();
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/status") == "offline"; }));
  EXPECT_EQ(sub.get(base + "/receiver/status"), "offline");
}

// A re-read of the settings (SIGHUP) with another broker in [MQTT]: the node leaves the old one
// ("offline") and publishes everything on the new one.
TEST_F(MqttBrokerTest, ReloadWithAnotherBrokerMovesThere) {
  settings("");
  auto n = node();
  ASSERT_TRUE(n->start());
  const std::string base = "quillon/" + n->context().computerName;
  Subscriber first(*platform, broker.port);
  ASSERT_TRUE(waitFor([&] { return first.get(base + "/status") == "online"; }));
  Broker other;
  other.dir = dir / "other";
  fs::create_directories(other.dir);
  ASSERT_TRUE(other.start());
  const std::uint16_t firstPort = broker.port;
  broker.port = other.port;
  settings("");  // the same section with the other broker's port
  n->node().reload();
  Subscriber second(*platform, other.port);
  ASSERT_TRUE(waitFor([&] { return second.get(base + "/21D0/state").find("21.5") != std::string::npos; }));
  EXPECT_EQ(second.get(base + "/status"), "online");
  EXPECT_EQ(first.get(base + "/status"), "offline");
  EXPECT_EQ(count("MQTT settings changed: connecting with the new settings"), 1);
  n->node().reload();  // nothing changed: the connection stays
  EXPECT_EQ(count("MQTT settings changed"), 1);
  broker.port = firstPort;
}

TEST_F(MqttBrokerTest, ReconnectsAndRepublishesAfterTheBrokerRestarts) {
  settings("");
  auto n = node();
  ASSERT_TRUE(n->start());
  const std::string base = "quillon/" + n->context().computerName;
  ASSERT_TRUE(waitFor([&] { return n->mqtt().client() && n->mqtt().client()->connected(); }));
  broker.stop();
  waitFor([] { return false; }, 1000);  // several tries fail meanwhile
  EXPECT_FALSE(n->mqtt().client()->connected());
  ASSERT_TRUE(broker.start());  // without persistence: every retained message is gone
  Subscriber sub(*platform, broker.port);
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/21D0/state").find("21.5") != std::string::npos; }));
  EXPECT_EQ(sub.get(base + "/status"), "online");
  EXPECT_TRUE(sub.has("homeassistant/sensor/quillon_" + n->context().computerName + "/21D0/config"));
  EXPECT_EQ(n->mqtt().client()->connectCount(), 2);
  EXPECT_EQ(count("MQTT: connection to 127.0.0.1:" + std::to_string(broker.port) + " lost"), 1);
  EXPECT_EQ(count("unreachable"), 1);  // once for the change, not once per try
}

TEST_F(MqttBrokerTest, WrongCredentialsAreLoggedOnceAndTheNodeRuns) {
  QProcess passwd;
  passwd.start("mosquitto_passwd", {"-b", "-c", QString::fromStdString((dir / "passwd").string()), "quillon", "right"});
  if (!passwd.waitForFinished(5000) || passwd.exitCode() != 0) GTEST_SKIP() << "mosquitto_passwd not available";
  broker.stop();
  broker.extra = "allow_anonymous false\npassword_file " + (dir / "passwd").string() + "\n";
  ASSERT_TRUE(broker.start());
  settings("User=quillon\nPassword=wrong\n");
  auto n = node();
  ASSERT_TRUE(n->start());
  waitFor([] { return false; }, 1000);
  EXPECT_FALSE(n->mqtt().client()->connected());
  EXPECT_EQ(count("refused the connection: Connection Refused: not authorised"), 1);
  ASSERT_TRUE(waitFor([&] { auto* d = n->registry().device("21D0"); return d && d->text() == "21.5"; }));
}

// Lifecycle and diagnostics in Home Assistant: a stale device's entity turns unavailable, a
// replacement code keeps the old entity, a battery record shows with its sensor, a remote's
// presses are events, a door contact without a type is a door, the receiver's last packet is a
// timestamp with its UTC offset.
TEST_F(MqttBrokerTest, LifecycleAndDiagnosticsInHomeAssistant) {
  std::ofstream(dir / "Config" / "Quillon.ini")
      << "[W800]\nMode=1\nMetric=1\nHTTPPort=0\nRtl433Source=" << (dir / "sdr.json").string()
      << "\n[MQTT]\nEnabled=1\nPort=" << broker.port << "\n[W800Units]\n21D0=21D0~0~~False~~~Lounge~21D0~False~True~False~0~~Temperature~False~4.7~\n"
         "5A5D_144=5A5D_144~0~~False~~~Kitchen~5A5D313434~False~True~False~0~~Temperature~False~4.7~\n"
         "5A5D_144_P=5A5D_144_P~0~~False~~~~5A5D31343450~False~True~False~0~~Battery~False~4.7~\n"
         "A1=A1~0~~False~~~Hall~~False~False~False~0~~~False~4.7~\n"
         "3C33=3C33~0~~False~~~Front door~3C33~False~True~False~0~~~False~4.7~\n"
         "[W800Values]\n5A5D_144_P=0\n";
  // 3C33 first as a motion sensor (0x0C), then as a door contact (0x84): the last one counts.
  std::ofstream(dir / "replay.txt") << "# mode: 48\n0.0 2C\n0.1 20 60 9F 00 FF\n0.2 20 21 D0 15 81\n"
                                       "0.3 20 3C 33 0C F3\n0.4 29 3C 33 84 7B 03 00\n";
  // A recording of rtl_433 lines as a second receiver: its state rides with the receiver's.
  std::ofstream(dir / "sdr.json") << R"({"model":"X10-RF","id":0,"channel":"A","state":"ON","data":1621037295})" "\n";
  auto n = node();
  ASSERT_TRUE(n->start());
  const std::string host = n->context().computerName, base = "quillon/" + host, ha = "homeassistant/";
  const std::string node = "/quillon_" + host + "/";
  Subscriber sub(*platform, broker.port);
  ASSERT_TRUE(waitFor([&] { return sub.has(ha + "binary_sensor" + node + "5A5D_144_P/config") && sub.has(ha + "event" + node + "A1_event/config"); }));
  EXPECT_NE(sub.get(ha + "binary_sensor" + node + "5A5D_144_P/config").find(R"("name":"Kitchen Battery 5A5D_144_P")"), std::string::npos);
  EXPECT_NE(sub.get(ha + "binary_sensor" + node + "5A5D_144_P/config").find(R"("entity_category":"diagnostic")"), std::string::npos);
  EXPECT_NE(sub.get(ha + "event" + node + "A1_event/config").find(R"("event_types":["bright","dim","off","on"])"), std::string::npos);
  // The replay's last packet of 3C33 is a door contact's (0x84).
  ASSERT_TRUE(waitFor([&] { return sub.get(ha + "binary_sensor" + node + "3C33/config").find(R"("device_class":"door")") != std::string::npos; }));
  ASSERT_TRUE(waitFor([&] { return sub.has(ha + "sensor" + node + "receiver_last_packet/config"); }));
  ASSERT_TRUE(waitFor([&] { return n->sdrReceiver().decoder().packets() == 1; }));
  n->mqtt().publishReceiver(true);  // the link's state goes out on a change or every minute
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/receiver/state").find(R"("lines":1,"packets":1)") != std::string::npos; }));
  EXPECT_NE(sub.get(ha + "sensor" + node + "receiver_last_packet/config").find(R"("device_class":"timestamp")"), std::string::npos);
  const std::string link = sub.get(base + "/receiver/state");
  const std::size_t at = link.find(R"("last_packet_at":")");
  ASSERT_NE(at, std::string::npos) << link;
  const std::string stamp = link.substr(at + 18, 25);
  EXPECT_TRUE(stamp.size() == 25 && (stamp[19] == '+' || stamp[19] == '-') && stamp[22] == ':') << stamp;
  EXPECT_NE(link.find(R"("sdr":{"role":"sdr")"), std::string::npos) << link;

  // A button press is an event, each time (the second press is the same state).
  devices::W800Device& a1 = *n->registry().device("A1");
  int presses = 0;
  sub.client.onMessage([&](const std::string& t, const std::string& m, bool) {
    sub.last[t] = m;
    if (t == base + "/A1/event" && m == R"({"event_type":"on"})") ++presses;
  });
  n->registry().report(a1, {.status = devices::kDeviceStatusOn, .stamp = true});
  n->registry().report(a1, {.status = devices::kDeviceStatusOn, .stamp = true});
  ASSERT_TRUE(waitFor([&] { return presses == 2; }));

  // Stale and heard again: the device's own availability.
  devices::W800Device& lounge = *n->registry().device("21D0");
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/21D0/availability") == "online"; }));
  lounge.setStale(true);
  n->registry().availabilityChanged(lounge);
  ASSERT_TRUE(waitFor([&] { return sub.get(base + "/21D0/availability") == "offline"; }));
  // Set stale minutes go out as expire_after.
  n->lifecycle().setStaleMinutes("5A5D_144", 10);
  n->mqtt().refresh();
  ASSERT_TRUE(waitFor([&] { return sub.get(ha + "sensor" + node + "5A5D_144/config").find(R"("expire_after":600)") != std::string::npos; }));

  // The lounge sensor's new code takes over its entity: same config topic and unique id, the new
  // state topic; the old code's state is cleared and its entity is not.
  ASSERT_TRUE(n->registry().addW800Unit("21D1"));
  ASSERT_EQ(n->lifecycle().replace("21D0", "21D1"), "");
  const std::string loungeConfig = ha + "sensor" + node + "21D0/config";
  ASSERT_TRUE(waitFor([&] { return sub.get(loungeConfig).find(base + "/21D1/state") != std::string::npos; }));
  EXPECT_NE(sub.get(loungeConfig).find(R"("unique_id":"quillon_)" + host + R"(_21D0")"), std::string::npos);
  EXPECT_FALSE(sub.has(ha + "sensor" + node + "21D1/config"));
  EXPECT_EQ(sub.get(base + "/21D0/state"), "");
  n->shutdown();
}

// The node of the next test, in a child process (this program run again) that the test kills.
TEST_F(MqttBrokerTest, DISABLED_ChildNodeRunsUntilKilled) {
  dir = std::getenv("QUILLON_MQTT_CHILD_DIR");
  app::NodeAssembly n(*platform, core::AppPaths{dir.string(), ""});
  ASSERT_TRUE(n.start());
  waitFor([] { return false; }, 30000);
}

TEST_F(MqttBrokerTest, KilledNodeLeavesItsLastWill) {
  settings("");
  Subscriber sub(*platform, broker.port);
  QProcess child;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QUILLON_MQTT_CHILD_DIR", QString::fromStdString(dir.string()));
  child.setProcessEnvironment(env);
  child.start(QCoreApplication::applicationFilePath(),
              {"--gtest_also_run_disabled_tests", "--gtest_filter=*ChildNodeRunsUntilKilled"});
  ASSERT_TRUE(child.waitForStarted(5000));
  auto status = [&] {
    for (const auto& [topic, payload] : sub.last)
      if (topic.ends_with("/status")) return payload;
    return std::string();
  };
  ASSERT_TRUE(waitFor([&] { return status() == "online"; }, 10000));
  child.kill();
  child.waitForFinished(3000);
  ASSERT_TRUE(waitFor([&] { return status() == "offline"; }));
}

}  // namespace
