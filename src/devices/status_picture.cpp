#include "devices/status_picture.h"

#include <cmath>
#include <cstdlib>

#include "util/fast_string.h"
#include "util/text.h"

namespace quillon::devices {
namespace {

// Quotes and angle brackets of texts from devices, scripts and the setup page.
std::string escapeHtml(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\'': out += "&#39;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string statusImageHtml(std::string_view display, std::string_view deviceType, std::string_view icon) {
  static const std::string kSensors = "/Quillon/images/sensors/";
  const bool off = display == "0" || util::upper(display) == "OFF";
  std::string prefix = "' height='16' src='" + kSensors;
  std::string alt(display);
  std::string image;

  if (deviceType == "Battery") alt = off ? "OK" : "Replace";
  if (deviceType == "Tamper") alt = off ? "OK" : "Tamper";

  if (!icon.empty()) {
    image = std::string(icon) + (off ? "-off" : "-on") + ".gif";
  } else if (deviceType == "Temperature") {
    prefix = "' src='/Quillon/images/temperatures/";
    const float t = std::strtof(makeNumber(display).c_str(), nullptr);
    if (t < -59)
      image = "cold.gif";
    else if (t > 169)
      image = "hot.gif";
    else
      image = std::to_string(static_cast<int>(std::nearbyint(t))) + ".gif";
    alt.clear();
  } else if (deviceType == "Motion") {
    image = display == "ON" ? "motion-on.gif" : "motion-off.gif";
  } else if (deviceType == "Switch") {
    prefix = "' src='" + kSensors;
    image = display == "ON" ? "on.gif" : "off.gif";
  } else if (deviceType == "Battery") {
    image = off ? "battery-ok.gif" : "battery-replace.gif";
  } else if (deviceType == "Tamper") {
    image = off ? "Tamper-ok.gif" : "Tamper-tamper.gif";
  } else if (deviceType == "Status") {
    image = util::replaceAll(display, " ", "_") + ".gif";
  } else if (!deviceType.empty()) {
    image = std::string(deviceType) + (off ? "-off.gif" : "-on.gif");
  } else {
    // The width goes after the closing quote of src: inside it, it would name a missing file.
    image = "blank1.gif' width='16";
  }

  // Texts from devices, scripts and the setup page are escaped so they cannot end the attribute
  // or open a tag; ordinary values (numbers, words, "&nbsp;") come out unchanged.
  util::FastString s;
  s.add("<table><td><img alt='").add(escapeHtml(util::replaceAll(display, "&nbsp;", " "))).add(prefix);
  s.add(image == "blank1.gif' width='16" ? image : escapeHtml(image)).add("'>");
  s.add("<img alt = ' ' src='" + kSensors + "blank1.gif'>").add(escapeHtml(alt)).add("</td></table>");
  return s.take();
}

std::string statusPicture(const W800Device& d) {
  if (!d.hasShown() || d.shownAsIs()) return d.shownText();
  return statusImageHtml(d.shownText(), d.pictureKind(), d.icon());
}

}  // namespace quillon::devices
