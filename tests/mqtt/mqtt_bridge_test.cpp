// The Home Assistant class of each kind of device, and set commands without a broker.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/node_context.h"
#include "devices/device_registry.h"
#include "mqtt/discovery_class.h"
#include "mqtt/mqtt_bridge.h"
#include "support/device_samples.h"
#include "devices/device_json.h"
#include "support/fake_platform.h"
#include "support/node_process.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;
using mqtt::Component;

namespace {


TEST(Discovery, ClassOfEachKind) {
  const devices::DeviceView tx{true, true, nullptr}, noTx{true, false, nullptr};
  struct Case {
    devices::W800Device d;
    devices::DeviceView view;
    Component component;
    const char* cls;
    const char* unit;
  } cases[] = {
      {test::sampleDevice("21D0", "Temperature", "21.5"), tx, Component::Sensor, "temperature", "°C"},
      {test::sampleDevice("1A2D_H", "Humidity", "85"), tx, Component::Sensor, "humidity", "%"},
      {test::sampleDevice("5A5D_B", "Barometer", "1013"), tx, Component::Sensor, "atmospheric_pressure", "hPa"},
      {test::sampleDevice("45B5", "Watt", "300"), tx, Component::Sensor, "power", "W"},
      {test::sampleDevice("2A1D_R", "RainToday", "12"), tx, Component::Sensor, "precipitation", "mm"},
      {test::sampleDevice("2A19_23F_R", "RainTotal", "31.2"), tx, Component::Sensor, "precipitation", "mm"},
      {test::sampleDevice("C5EC58S", "Security", "", 2), tx, Component::BinarySensor, "safety", ""},
      {test::sampleDevice("31F8177_11", "Dimmer", "47"), tx, Component::Sensor, "", "%"},  // not an X10 unit: a level
      {test::sampleDevice("3A0D_W", "WindSpeed", "1.2"), noTx, Component::Sensor, "wind_speed", "km/h"},
      {test::sampleDevice("3C33", "Motion", "", 2), tx, Component::BinarySensor, "motion", ""},
      {test::sampleDevice("A1", "Motion", "", 2), tx, Component::BinarySensor, "motion", ""},  // an X10 motion sensor
      {test::sampleDevice("A1B2_S", "Switch", "", 3), tx, Component::BinarySensor, "door", ""},
      {test::sampleDevice("5E9AT", "Tamper", "", 3), tx, Component::BinarySensor, "tamper", ""},
      {test::sampleDevice("1A2D_P", "Battery", "0"), tx, Component::BinarySensor, "battery", ""},
      {test::sampleDevice("A3", "", "", 2), tx, Component::Switch, "", ""},
      {test::sampleDevice("A4", "Door", "", 2), tx, Component::BinarySensor, "door", ""},
      {test::sampleDevice("A5", "Rain", "0.25"), tx, Component::Sensor, "precipitation", "in"},
      {test::sampleDevice("1A89_21B_D", "WindDirection", "270"), tx, Component::Sensor, "wind_direction", "°"},
      {test::sampleDevice("1A89_21B_U", "UV", "3"), tx, Component::Sensor, "", ""},
      {test::sampleDevice("A3", "", "", 2), noTx, Component::BinarySensor, "", ""},  // nothing to send it with
      {test::sampleDevice("B16", "Dimmer", "", 3), tx, Component::Light, "", ""},
  };
  for (const Case& c : cases) {
    const mqtt::DiscoveryClass k = mqtt::discoveryClass(c.d, c.view);
    EXPECT_EQ(k.component, c.component) << c.d.dc();
    EXPECT_EQ(k.deviceClass, c.cls) << c.d.dc();
    EXPECT_EQ(k.unit, c.unit) << c.d.dc();
  }
}

class BridgeTest : public ::testing::Test {
 protected:
  BridgeTest() {
    dir = test::freshTestFolder("quillon-bridge");
    fs::create_directories(dir / "Data");
    ctx = std::make_unique<core::NodeContext>(platform, core::AppPaths{dir.string(), ""});
    registry = std::make_unique<devices::DeviceRegistry>(*ctx);
    for (auto d : {test::sampleDevice("21D0", "Temperature", "21.5"), test::sampleDevice("A1", "", "", 2, "")}) {
      registry->addW800Unit(d.dc());
      *registry->device(d.dc()) = d;
    }
  }
  ~BridgeTest() override { fs::remove_all(dir); }

  test::FakePlatform platform;
  fs::path dir;
  std::unique_ptr<core::NodeContext> ctx;
  std::unique_ptr<devices::DeviceRegistry> registry;
};

// Set commands without a broker: what reaches the transmitter path, and what is refused.
TEST_F(BridgeTest, SetCommandsBecomeTransmitterTextOrAreRefused) {
  ctx->computerName = "node";
  ctx->settings.txSerialIp = "127.0.0.1";
  registry->addW800Unit("B16");
  *registry->device("B16") = test::sampleDevice("B16", "Dimmer");
  ctx->log.setDebugLog(true);
  std::vector<std::string> sent;
  bool linkOpen = true;
  mqtt::MqttBridge bridge(*ctx, *registry, [&](const std::string& text) {
    if (linkOpen) sent.push_back(text);
    return linkOpen;
  });
  for (const char* payload : {"on", " OFF\n", "40", "0", "100", "101", "-5", "4x", "", "\xFF\x01ON"})
    bridge.handleMessage("quillon/node/B16/set", payload);
  bridge.handleMessage("quillon/node/21D0/set", "ON");    // a sensor
  bridge.handleMessage("quillon/node/A1/set", "ON");      // not in use
  bridge.handleMessage("quillon/other/B16/set", "ON");    // another node's topic
  bridge.handleMessage("quillon/node/B16/state", "ON");   // not a command topic
  EXPECT_EQ(sent, (std::vector<std::string>{"B16 ON", "B16 OFF", "B16 DIM 40", "B16 OFF", "B16 ON"}));
  // Retained commands are ignored, logged once; a command the link cannot take is logged as such.
  bridge.handleMessage("quillon/node/B16/set", "ON", true);
  bridge.handleMessage("quillon/node/B16/set", "ON", true);
  linkOpen = false;
  bridge.handleMessage("quillon/node/B16/set", "OFF");
  EXPECT_EQ(sent.size(), 5u);
  const std::string log = test::readWholeFile(dir / "Data" / "Quillon.txt");
  auto count = [&](const std::string& text) {
    int n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("retained command on quillon/node/B16/set ignored"), 1);
  EXPECT_EQ(count("command not sent \"OFF\" for B16: the transmitter link is not open"), 1);
  EXPECT_EQ(count("MQTT: command sent \""), 5);
  ctx->settings.txSerialIp.clear();  // without a transmitter the unit is no switch
  linkOpen = true;
  bridge.handleMessage("quillon/node/B16/set", "ON");
  EXPECT_EQ(sent.size(), 5u);
}

// An RF DIM or BRIGHT leaves a light on, not unknown.
TEST(DeviceJson, DimAndBrightAreOn) {
  for (std::int16_t status : {devices::kDeviceStatusDim, devices::kDeviceStatusBright}) {
    const devices::W800Device d = test::sampleDevice("B16", "Dimmer", "", status);
    EXPECT_EQ(devices::deviceJson(d, {}).at("state"), "ON") << status;
  }
}

}  // namespace
