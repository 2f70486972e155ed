#pragma once
// One radio device the node has heard: its identity, the user's options for it and its last
// observed state, with the "~"-separated properties string it is stored as in section W800Units.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "util/date_time.h"

namespace quillon::devices {

inline constexpr std::int16_t kDeviceStatusOn = 2;
inline constexpr std::int16_t kDeviceStatusOff = 3;
inline constexpr std::int16_t kDeviceStatusDim = 4;     // an RF DIM: the light is on, dimmer
inline constexpr std::int16_t kDeviceStatusBright = 5;  // an RF BRIGHT: on, brighter
inline constexpr float kDefaultSupplyVoltage = 4.7f;
inline constexpr int kPropertiesFieldCount = 17;

// What a properties string could not give cleanly. The record is still complete (every field
// that could not be read holds its default); the caller decides whether and how to log.
struct PropertiesReport {
  std::vector<std::string> problems;
  bool ok() const { return problems.empty(); }
  std::string text() const;  // the problems joined by "; "
};

// The observable state of a device record.
struct DeviceState {
  std::int16_t status = 0;
  std::string type;
  std::string text;
  std::string shown;
  std::string picture;
  std::uint8_t shownKind = 0;  // nothing shown yet, a picture, a text as it is
  bool operator==(const DeviceState&) const = default;
};

class W800Device {
 public:
  const std::string& dc() const { return dc_; }
  void setDc(std::string_view code);  // stored in upper case

  std::int16_t status() const { return status_; }
  void setStatus(std::int16_t v) { status_ = v; }
  std::int16_t deviceStatus() const { return status_; }
  void setDeviceStatus(std::int16_t v) { status_ = v; }

  const std::string& version() const { return version_; }
  void setVersion(std::string v) { version_ = std::move(v); }
  bool inUse() const { return inUse_; }
  void setInUse(bool v) { inUse_ = v; }
  const std::string& color() const { return color_; }
  void setColor(std::string v) { color_ = std::move(v); }

  const std::string& tag() const { return tag_; }
  void setTag(std::string v);

  bool eventNotification() const { return eventNotification_; }
  void setEventNotification(bool v) { eventNotification_ = v; }
  const std::string& location() const { return location_; }
  void setLocation(std::string v) { location_ = std::move(v); }
  // The state as a page shows it: a text ("21.5&nbsp;C", "ON") and the kind of picture it is
  // drawn with (a device type word). The picture itself is drawn by whoever shows the device.
  const std::string& shownText() const { return shown_; }
  const std::string& pictureKind() const { return picture_; }
  void setShown(std::string text, std::string picture) {
    shown_ = std::move(text), picture_ = std::move(picture), shownKind_ = kShownPicture;
  }
  // A script's own display text, shown as it is instead of a picture (until the next reading).
  void setShownAsIs(std::string text) { shown_ = std::move(text), picture_.clear(), shownKind_ = kShownAsIs; }
  bool shownAsIs() const { return shownKind_ == kShownAsIs; }
  // A new record shows nothing until its first reading.
  bool hasShown() const { return shownKind_ != kShownNothing; }
  // What outputs compare to tell a real change from a repeated reading.
  DeviceState state() const { return {status_, deviceType_, text_, shown_, picture_, shownKind_}; }
  const util::DateTime& deviceLastChange() const { return deviceLastChange_; }
  void setDeviceLastChange(const util::DateTime& v) { deviceLastChange_ = v; }
  const std::string& subaddress() const { return subaddress_; }
  void setSubaddress(std::string v) { subaddress_ = std::move(v); }
  const std::string& uid() const { return uid_; }
  void setUid(std::string v) { uid_ = std::move(v); }
  bool invert() const { return invert_; }
  void setInvert(bool v) { invert_ = v; }
  bool bsc() const { return bsc_; }
  void setBsc(bool v) { bsc_ = v; }
  bool x10() const { return x10_; }
  void setX10(bool v) { x10_ = v; }
  std::int16_t offTime() const { return offTime_; }
  void setOffTime(std::int16_t v) { offTime_ = v; }
  const std::string& map() const { return map_; }
  void setMap(std::string v) { map_ = std::move(v); }
  std::int16_t timerIndex() const { return timerIndex_; }
  void setTimerIndex(std::int16_t v) { timerIndex_ = v; }
  const std::string& text() const { return text_; }
  void setText(std::string v) { text_ = std::move(v); }
  const std::string& deviceType() const { return deviceType_; }
  void setDeviceType(std::string v) { deviceType_ = std::move(v); }
  float systemTimer() const { return systemTimer_; }
  void setSystemTimer(float v) { systemTimer_ = v; }
  bool remove() const { return remove_; }
  void setRemove(bool v) { remove_ = v; }
  const std::string& icon() const { return icon_; }
  void setIcon(std::string v) { icon_ = std::move(v); }
  float supplyVoltage() const { return supplyVoltage_; }
  void setSupplyVoltage(float v) { supplyVoltage_ = v; }

  // Not heard for longer than its usual interval allows (kept by the device lifecycle).
  bool stale() const { return stale_; }
  void setStale(bool v) { stale_ = v; }
  // What its family's packets told of the kind of device ("door", "motion"), or empty.
  const std::string& familyHint() const { return familyHint_; }
  void setFamilyHint(std::string v) { familyHint_ = std::move(v); }

  // The seventeen persisted fields joined by "~".
  std::string properties() const;
  // Replaces the persisted fields from a properties string, derives InUse and DeviceString.
  // `now` is the time given to a last-change field that is empty or not a date.
  PropertiesReport setProperties(std::string_view text, const util::DateTime& now);

  // Bumped whenever any record's tag changes, so the registry knows when its tag index is stale.
  static std::uint64_t tagEpoch() { return tagEpoch_; }

 private:
  std::string dc_;
  std::int16_t status_ = 0;
  std::string version_;
  bool inUse_ = false;
  std::string color_;
  std::string tag_;
  bool eventNotification_ = false;
  std::string location_;
  std::string shown_;
  std::string picture_;
  static constexpr std::uint8_t kShownNothing = 0, kShownPicture = 1, kShownAsIs = 2;
  std::uint8_t shownKind_ = kShownNothing;
  util::DateTime deviceLastChange_{};
  std::string subaddress_;
  std::string uid_;
  bool invert_ = false;
  bool bsc_ = false;
  bool x10_ = false;
  std::int16_t offTime_ = 0;
  std::string map_;
  std::int16_t timerIndex_ = -1;
  std::string text_;
  std::string deviceType_;
  float systemTimer_ = 0;
  bool remove_ = false;
  std::string icon_;
  float supplyVoltage_ = kDefaultSupplyVoltage;
  bool stale_ = false;
  std::string familyHint_;

  static inline std::uint64_t tagEpoch_ = 0;
};

// "ON" for status 2, otherwise "OFF".
std::string onOffText(int status);
// The longest prefix of the text that is a number (blanks, sign, decimal point, exponent
// allowed), trimmed; "0" when there is none.
std::string makeNumber(std::string_view text);

// Splits a properties string into exactly seventeen field texts. When a "~" inside a text field
// produced extra pieces and the typed fields show where they belong, the pieces are joined back
// into that text field; otherwise the first seventeen pieces are kept (padded when fewer).
// `realigned` tells the caller that the first case happened.
std::vector<std::string> splitPropertiesFields(std::string_view text, bool* realigned = nullptr);

}  // namespace quillon::devices
