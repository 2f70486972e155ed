#pragma once
// Every key the node reads from its settings file, declared once: where it is stored, the form of
// its value, its default, when a change takes effect and one line of help. Loading, the settings
// window, the status page, the MQTT bridge and --check-config take their keys and defaults from here.
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini_cache.h"
#include "core/settings.h"

namespace quillon::core {

inline constexpr const char* kMqttSection = "MQTT";

enum class SettingType {
  Text,      // free text
  Password,  // free text not to be shown (LoginPassword is stored scrambled)
  Bool,      // True, False or a number (non-zero is true)
  Integer,   // a whole number from min to max
  Number,    // a number from min to max
  Factor,    // a number other than 0
  Choice,    // one of `choices`
  Port,      // a TCP port number (min is 0 where 0 turns the service off)
  LinkPort,  // a serial port number (1 = /dev/ttyS0), a device path, or a TCP adapter's port
  Address,   // a host name or a dotted IPv4 address
  Path,      // a file the node reads
  Uid,       // an xAP UID such as FF.0052:00
  Topic,     // an MQTT topic prefix, without + or #
};

// When the running node follows a change of the stored value.
enum class TakesEffect { AtOnce, OnReopen, AtNextStart };

// Where a key can be edited, besides the file.
enum SettingSurface : unsigned { kNoSurface = 0, kSettingsWindow = 1, kStatusPage = 2 };

struct SettingDef {
  const char* file = kSettingsFile;
  const char* section = kSettingsSection;
  const char* key = "";  // as stored in the file
  SettingType type = SettingType::Text;
  const char* def = "";  // what the node uses when the key is absent or empty
  double min = 0, max = 0;   // Integer, Number, Port
  const char* choices = "";  // Choice: "value=meaning|value=meaning"
  const char* unit = "";     // what a number counts ("seconds") or what a path names ("CA file")
  TakesEffect takes = TakesEffect::AtOnce;
  unsigned surfaces = kNoSurface;
  const char* help = "";
  const char* onlyWith = nullptr;  // the value matters only while this Bool key of the section is true
  bool required = false;           // must not be empty (while `onlyWith` is true)
  const char* fallback = nullptr;  // what the node does with a value it cannot use, when not its default
  const char* selector = nullptr;  // setIniValue's name for the key when it is not the key itself
  // The key's field of Settings, from the stored text and back as text; null for keys read elsewhere.
  void (*load)(Settings&, const SettingDef&, const std::string& stored) = nullptr;
  std::string (*value)(const Settings&) = nullptr;
};

// The whole table in reading order: [W800] as the start-up walks it, then [MQTT].
std::span<const SettingDef> settingsTable();
// The entry of a key (any letter case); null when the table has none.
const SettingDef* findSetting(std::string_view section, std::string_view key);
// Numbered keys of [W800] the node keeps, by their prefix.
bool keptKeyPrefix(std::string_view key);
// The stored text of a key of the table, its default when absent or empty.
std::string storedSetting(IniCache& cache, std::string_view section, std::string_view key);
// "at once", "when the link reopens", "at the next start".
const char* takesEffectText(TakesEffect takes);

// The keys whose loaded value differs between two readings, in table order, so that each
// subsystem can follow only its own changes.
std::vector<std::string> changedKeys(const Settings& before, const Settings& after);

}  // namespace quillon::core
