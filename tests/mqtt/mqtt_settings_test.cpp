// Section [MQTT] as the bridge reads it: the settings table's defaults agree with the bridge's,
// and each sample comes through.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "mqtt/mqtt_bridge.h"
#include "support/setting_samples.h"
#include "support/test_folder.h"

namespace fs = std::filesystem;
using namespace quillon;

namespace {

mqtt::MqttSettings read(const std::string& section, std::string* problem = nullptr) {
  const fs::path dir = test::freshTestFolder("quillon-mqtt-settings");
  std::ofstream(dir / "Config" / "Quillon.ini") << "[MQTT]\n" << section;
  core::IniCache ini((dir / "Config").string());
  mqtt::MqttSettings s = mqtt::readMqttSettings(ini, problem);
  fs::remove_all(dir);
  return s;
}

TEST(MqttSettings, DefaultsSamplesAndValuesThatGiveTheDefault) {
  EXPECT_EQ(read(""), mqtt::MqttSettings{});
  std::string section;
  for (const core::SettingDef& d : core::settingsTable())
    if (d.section == std::string(core::kMqttSection))
      section += std::string(d.key) + "=" + test::settingSample(d) + "\n";
  EXPECT_EQ(read(section),
            (mqtt::MqttSettings{true, "broker.lan", 8883, "me", "secret", "node1", true, "/dev/null", "home", false, "ha"}));

  std::string problem;
  EXPECT_EQ(read("Host=\"\"\nPort=abc\nBaseTopic=/\nDiscoveryPrefix=\"\"\n", &problem), mqtt::MqttSettings{});
  EXPECT_EQ(problem, "Port \"abc\" is not a port number; 1883 is used");
}

}  // namespace
