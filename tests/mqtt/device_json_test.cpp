// Device JSON, the Home Assistant class of each kind of device, and the HTTP device interface
// (bodies byte for byte for a seeded registry, routing behind the login rule).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/node_context.h"
#include "devices/device_registry.h"
#include "http/http_server.h"
#include "mqtt/device_api.h"
#include "mqtt/device_json.h"
#include "mqtt/mqtt_bridge.h"
#include "support/fake_platform.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using mqtt::Component;

namespace {

devices::W800Device device(const std::string& code, const std::string& type, const std::string& text = "",
                           int status = 0, const std::string& location = "Hall") {
  devices::W800Device d;
  d.setDc(code);
  d.setDeviceType(type);
  d.setText(text);
  d.setStatus(static_cast<std::int16_t>(status));
  d.setLocation(location);
  d.setInUse(!location.empty());
  d.setDeviceLastChange(util::DateTime{2026, 12, 7, 14, 5, 9, 0});
  return d;
}

TEST(DeviceJson, StatesValuesUnitsAndBattery) {
  const mqtt::DeviceView metric{true, false}, imperial{false, false};
  EXPECT_EQ(mqtt::deviceJson(device("21D0", "Temperature", "21.5"), metric).dump(),
            R"({"code":"21D0","type":"Temperature","location":"Hall","state":null,"value":21.5,"unit":"°C",)"
            R"("battery":null,"last_change":"2026-12-07T14:05:09"})");
  EXPECT_EQ(mqtt::deviceJson(device("21D0", "Temperature", "70.1"), imperial)["unit"], "°F");
  auto motion = mqtt::deviceJson(device("A1", "Motion", "", 2), metric);
  EXPECT_EQ(motion["state"], "ON");
  EXPECT_TRUE(motion["value"].is_null());
  // A text that is not wholly a number stays text; an Oregon battery reports 1 for low.
  EXPECT_EQ(mqtt::deviceJson(device("5A5D_F", "Forecast", "Partly Cloudy"), metric)["value"], "Partly Cloudy");
  auto battery = mqtt::deviceJson(device("1A2D_P", "Battery", "1"), metric);
  EXPECT_EQ(battery["battery"], "low");
  EXPECT_EQ(battery["state"], "ON");
  devices::W800Device fresh = device("B2", "");
  fresh.setDeviceLastChange(util::DateTime{});
  EXPECT_TRUE(mqtt::deviceJson(fresh, metric)["last_change"].is_null());
}

TEST(DeviceJson, DiscoveryClassOfEachKind) {
  const mqtt::DeviceView tx{true, true}, noTx{true, false};
  struct Case {
    devices::W800Device d;
    mqtt::DeviceView view;
    Component component;
    const char* cls;
    const char* unit;
  } cases[] = {
      {device("21D0", "Temperature", "21.5"), tx, Component::Sensor, "temperature", "°C"},
      {device("1A2D_H", "Humidity", "85"), tx, Component::Sensor, "humidity", "%"},
      {device("5A5D_B", "Barometer", "1013"), tx, Component::Sensor, "atmospheric_pressure", "hPa"},
      {device("45B5", "Watt", "300"), tx, Component::Sensor, "power", "W"},
      {device("2A1D_R", "RainToday", "12"), tx, Component::Sensor, "precipitation", "mm"},
      {device("3A0D_W", "WindSpeed", "1.2"), noTx, Component::Sensor, "wind_speed", "km/h"},
      {device("3C33", "Motion", "", 2), tx, Component::BinarySensor, "motion", ""},
      {device("A1", "Motion", "", 2), tx, Component::BinarySensor, "motion", ""},  // an X10 motion sensor
      {device("A1B2_S", "Switch", "", 3), tx, Component::BinarySensor, "door", ""},
      {device("5E9AT", "Tamper", "", 3), tx, Component::BinarySensor, "tamper", ""},
      {device("1A2D_P", "Battery", "0"), tx, Component::BinarySensor, "battery", ""},
      {device("A3", "", "", 2), tx, Component::Switch, "", ""},
      {device("A3", "", "", 2), noTx, Component::BinarySensor, "", ""},  // nothing to send it with
      {device("B16", "Dimmer", "", 3), tx, Component::Light, "", ""},
  };
  for (const Case& c : cases) {
    const mqtt::DiscoveryClass k = mqtt::discoveryClass(c.d, c.view);
    EXPECT_EQ(k.component, c.component) << c.d.dc();
    EXPECT_EQ(k.deviceClass, c.cls) << c.d.dc();
    EXPECT_EQ(k.unit, c.unit) << c.d.dc();
  }
}

class DeviceApiTest : public ::testing::Test {
 protected:
  DeviceApiTest() {
    dir = test::freshTestFolder("quillon-api");
    fs::create_directories(dir / "Data");
    std::ofstream(dir / "Config" / "Quillon.ini") << "[W800]\nHTTPPort=8017\nLoginUsername=admin\n[W800Units]\n";
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    for (auto d : {device("21D0", "Temperature", "21.5"), device("A1", "", "", 2, "")}) {
      registry->addW800Unit(d.dc());
      *registry->device(d.dc()) = d;
    }
  }
  ~DeviceApiTest() override { fs::remove_all(dir); }

  http::ApiReply ask(const std::string& path) {
    http::ApiReply r;
    EXPECT_TRUE(mqtt::deviceApi(path, *registry, {true, false}, r)) << path;
    return r;
  }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
};

const char* kTemp = R"({"code":"21D0","type":"Temperature","location":"Hall","state":null,"value":21.5,"unit":"°C",)"
                    R"("battery":null,"last_change":"2026-12-07T14:05:09","in_use":true})";
const char* kA1 = R"({"code":"A1","type":"","location":"","state":"ON","value":null,"unit":null,)"
                  R"("battery":null,"last_change":"2026-12-07T14:05:09","in_use":false})";

TEST_F(DeviceApiTest, ListsOneDeviceAndRefusesUnknownPaths) {
  http::ApiReply all = ask("/api/devices");
  EXPECT_EQ(all.status, 200);
  EXPECT_EQ(all.body, std::string("[") + kTemp + "," + kA1 + "]");
  EXPECT_EQ(ask("/api/devices/").body, all.body);
  EXPECT_EQ(ask("/api/devices/21d0").body, kTemp);  // codes without regard to letter case
  http::ApiReply unknown = ask("/api/devices/ZZ9");
  EXPECT_EQ(unknown.status, 404);
  EXPECT_EQ(unknown.body, R"({"error":"unknown device","code":"ZZ9"})");
  EXPECT_EQ(ask("/api/devices/A1/x").status, 404);
  EXPECT_EQ(ask("/api/other").body, R"({"error":"not found"})");
  http::ApiReply r;
  EXPECT_FALSE(mqtt::deviceApi("/status", *registry, {}, r));
  // Bytes that are not UTF-8 (a location typed in another code page) never throw.
  registry->device("21D0")->setLocation("K\xFC" "che");
  EXPECT_NE(ask("/api/devices/21D0").body.find("K\xEF\xBF\xBD" "che"), std::string::npos);
}

// The links' state: what a user or a monitor reads to see that a receiver went quiet or away.
TEST_F(DeviceApiTest, LinksAnswerWithEachLinksState) {
  rflink::LinkStatus rx;
  rx.role = "receiver";
  rx.configured = rx.open = true;
  rx.where = "/dev/ttyUSB0";
  rx.haveSince = true;
  rx.since = util::DateTime{2026, 12, 7, 8, 43, 12, 0};
  rx.bytes = 1234;
  rx.packets = 56;
  rx.haveLastPacket = true;
  rx.lastPacket = util::DateTime{2026, 12, 7, 8, 50, 1, 0};
  rx.reconnects = 2;
  rflink::LinkStatus tx;
  tx.role = "transmitter";
  http::ApiReply r;
  ASSERT_TRUE(mqtt::deviceApi("/api/links", *registry, {}, r, [&] { return std::vector<rflink::LinkStatus>{rx, tx}; }));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, R"({"receiver":{"role":"receiver","state":"open","kind":"serial","where":"/dev/ttyUSB0",)"
                    R"("since":"2026-12-07T08:43:12","bytes":1234,"packets":56,"last_packet":"2026-12-07T08:50:01",)"
                    R"("reconnects":2},"transmitter":{"role":"transmitter","state":"not configured","kind":"serial",)"
                    R"("where":"","since":null,"bytes":0,"reconnects":0}})");
  EXPECT_EQ(rx.summary(util::DateTime{2026, 12, 7, 9, 0, 0, 0}),
            "Receiver open on /dev/ttyUSB0 since 08:43:12 \xC2\xB7 1234 bytes, 56 packets, last packet 08:50:01 \xC2\xB7 2 reconnects");
  rx.open = false;
  EXPECT_EQ(rx.summary(util::DateTime{2026, 12, 8, 9, 0, 0, 0}).substr(0, 55),
            "Receiver closed: /dev/ttyUSB0 since 2026-12-07 08:43:12");
}

TEST_F(DeviceApiTest, ServerAnswersJsonBehindTheLoginRule) {
  http::HttpServer server(*ctx);
  server.setApiRoute([this](const std::string& path, http::ApiReply& reply) {
    return mqtt::deviceApi(path, *registry, {true, false}, reply);
  });
  server.start();
  auto get = [&](const std::string& peer) {
    test::FakeTcpConnection* c = platform.tcpListeners.at(0)->connect(peer, "127.0.0.1");
    c->deliver("GET /api/devices/ZZ9 HTTP/1.1\r\nHost: node\r\n\r\n");
    platform.time().advance(http::HttpServer::kDispatchDelayMs);
    return c->written;
  };
  const std::string local = get("127.0.0.1");
  EXPECT_EQ(get("127.0.0.1"),
            "HTTP/1.1 404 Not Found\r\nServer: ovk\r\nDate: 06-Dec-26\r\nConnection: Close\r\nCache-Control: no-cache\r\n"
            "Content-Type: application/json; charset=utf-8\r\nContent-Length: 39\r\n\r\n"
            R"({"error":"unknown device","code":"ZZ9"})");
  EXPECT_EQ(get("10.1.2.3").rfind("HTTP/1.1 401", 0), 0u);  // a foreign client logs in first
}

// Set commands without a broker: what reaches the transmitter path, and what is refused.
TEST_F(DeviceApiTest, SetCommandsBecomeTransmitterTextOrAreRefused) {
  ctx->computerName = "node";
  ctx->settings.txSerialIp = "127.0.0.1";
  registry->addW800Unit("B16");
  *registry->device("B16") = device("B16", "Dimmer");
  std::vector<std::string> sent;
  mqtt::MqttBridge bridge(*ctx, *registry, [&](const std::string& text) { sent.push_back(text); });
  for (const char* payload : {"on", " OFF\n", "40", "0", "100", "101", "-5", "4x", "", "\xFF\x01ON"})
    bridge.handleMessage("quillon/node/B16/set", payload);
  bridge.handleMessage("quillon/node/21D0/set", "ON");    // a sensor
  bridge.handleMessage("quillon/node/A1/set", "ON");      // not in use
  bridge.handleMessage("quillon/other/B16/set", "ON");    // another node's topic
  bridge.handleMessage("quillon/node/B16/state", "ON");   // not a command topic
  EXPECT_EQ(sent, (std::vector<std::string>{"B16 ON", "B16 OFF", "B16 DIM 40", "B16 OFF", "B16 ON"}));
  ctx->settings.txSerialIp.clear();  // without a transmitter the unit is no switch
  bridge.handleMessage("quillon/node/B16/set", "ON");
  EXPECT_EQ(sent.size(), 5u);
}

}  // namespace
