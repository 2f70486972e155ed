#pragma once
// For each key of the settings table a value other than its default, in the form every surface
// stores it (the status page's True/False, a number as the page writes it), for the round-trip
// tests. Together they are a sound settings file: --check-config finds nothing in them.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/settings_table.h"
#include "util/password_scramble.h"

namespace quillon::test {

inline std::string settingSample(const core::SettingDef& d) {
  static const std::map<std::string, std::string> samples = {
      {"W800/SerialPort", "4002"},        {"W800/SerialIP", "192.168.1.50"},
      {"W800/HTTPPort", "8018"},          {"W800/DebugLog", "True"},
      {"W800/Background", "#102030"},     {"W800/StyleSheet", "Style2.css"},
      {"W800/UID", "AB.1234:00"},         {"W800/ShowSetup", "True"},
      {"W800/ShowOnlyUsed", "True"},      {"W800/ShowReceiveMessages", "True"},
      {"W800/ShowReceiveDetail", "True"}, {"W800/PeriodicScriptInterval", "90"},
      {"W800/DebounceInterval", "1500"},  {"W800/IRSchema", "True"},
      {"W800/Mode", "1"},                 {"W800/HideRemoved", "True"},
      {"W800/AcceptVisonic", "True"},     {"W800/Metric", "1"},
      {"W800/SensorCal", "1.5"},          {"W800/DisableDiscovery", "True"},
      {"W800/TxSerialIP", "adapter.lan"}, {"W800/TxSerialPort", "4001"},
      {"W800/ReceiverSilenceMinutes", "30"}, {"W800/LoginUsername", "admin"},
      {"W800/Rtl433Command", "rtl_433 -F json"}, {"W800/Rtl433Source", "tcp:127.0.0.1:1234"},
      {"W800/LoginPassword", util::scramblePassword("p4ss")}, {"W800/StatusSortKey", "Location"},
      {"W800/StatusSortDirection", "DESC"}, {"W800/ShowEPROM", "True"},
      {"W800/ShowInputLinks", "True"},    {"W800/ScriptTimeout", "30"},
      {"W800/Rain8StatusInterval", "5"},  {"W800/MaxConnections", "32"},
      {"W800/TrustLocalNetwork", "False"}, {"W800/WebSessionMinutes", "90"},
      {"W800/MaxRequestBody", "65536"},  {"W800/HistoryEnabled", "False"},
      {"W800/HistoryRawDays", "7"},     {"W800/HistoryYears", "2"},
       {"MQTT/Enabled", "True"},
      {"MQTT/Host", "broker.lan"},        {"MQTT/Port", "8883"},
      {"MQTT/User", "me"},                {"MQTT/Password", "secret"},
      {"MQTT/ClientId", "node1"},         {"MQTT/TLS", "True"},
      {"MQTT/CAFile", "/dev/null"},       {"MQTT/BaseTopic", "home"},
      {"MQTT/Discovery", "False"},        {"MQTT/DiscoveryPrefix", "ha"},
  };
  const auto it = samples.find(std::string(d.section) + "/" + d.key);
  EXPECT_NE(it, samples.end()) << "no sample for " << d.key;
  return it == samples.end() ? std::string() : it->second;
}

}  // namespace quillon::test
