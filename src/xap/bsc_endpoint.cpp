#include "xap/bsc_endpoint.h"

#include <exception>

#include "devices/status_picture.h"
#include "util/text.h"
#include "xap/xap_message.h"

namespace quillon::xap {

namespace {

constexpr std::size_t kNameField = 16;

std::string onOff(const devices::W800Device& d) { return d.deviceStatus() == devices::kDeviceStatusOn ? "ON" : "OFF"; }

bool isUnknown(const std::string& v) { return v == "Unknown"; }

}  // namespace

std::string subAddressLocation(const devices::W800Device& device) {
  return device.location().empty() ? "Unknown" : util::replaceAll(device.location(), " ", "_");
}

std::string subAddressName(const devices::W800Device& device, int mode) {
  const std::string& dc = device.dc();
  if (dc.size() >= kNameField) return dc;  // no room for the prefix: the code alone names the device
  std::string name = (mode == 1 ? std::string("RFXCOM") : std::string("W800")) + std::string(kNameField, '_');
  return name.substr(0, kNameField - dc.size()) + dc;
}

std::string deviceSubAddress(const devices::W800Device& device, int mode, bool lowerType) {
  return subAddressLocation(device) + "." + subAddressName(device, mode) + "." +
         (lowerType ? util::lower(device.deviceType()) : device.deviceType());
}

std::string rolePath(const std::string& exePath) {
  if (exePath.size() > 2 && exePath[0] == '\\' && exePath[1] == '\\') {
    std::size_t server = exePath.find('\\', 2);
    if (server != std::string::npos) {
      std::size_t share = exePath.find('\\', server + 1);
      std::string shareName = exePath.substr(server + 1, share == std::string::npos ? std::string::npos : share - server - 1);
      std::string rest = share == std::string::npos ? "" : exePath.substr(share + 1);
      return shareName + ":\\" + rest;
    }
  }
  return exePath;
}

BscEndpoint::BscEndpoint(core::NodeContext& ctx, XapTransport& transport, devices::DeviceRegistry& registry)
    : ctx_(ctx), transport_(transport), registry_(registry), replyTimer_(ctx.platform.loop()) {
  replyTimer_.setHandler([this] { onReplyTimer(); });
}

void BscEndpoint::readMessage(const std::string& raw) {
  // A datagram's parse errors make one log entry, whatever their number; the log's rate limit
  // sums up a flood of such datagrams.
  int errors = 0;
  std::string firstError;
  XapMessage m([&](const std::string& text) {
    if (errors++ == 0) firstError = text;
  });
  try {
    m.init();
    m.fromXap(raw);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "Readmessage", e.what());
    return;
  }
  if (errors) {
    ++parseFailures_;
    ctx_.logEvent("Readmessage: received datagram with " + std::to_string(errors) + " parse errors (" +
                  std::to_string(parseFailures_) + " such datagrams so far), the first: " + firstError);
  }
  try {
    if (observer_) observer_(raw, m);
    applyFilters(m);
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "Readmessage", e.what());
  }
  try {
    const std::string& self = transport_.xapSource();
    const bool toMe = m.compareTarget(self);
    if (!toMe && !m.compareTarget("Unknown")) return;
    if (m.compareClass("xAPBSC.query")) {
      if (toMe) bscQuery(m.msgTarget());
    } else if (m.compareClass("xAPBSC.cmd")) {
      if (!toMe) return;
      // Standard senders put ID and Text together in "output.state.1"; older ones split them.
      std::string id = m.getItem("output.state", "ID");
      if (isUnknown(id)) id = m.getItem("output.state.1", "ID");
      std::string text = m.getItem("output.state.1", "Text");
      if (isUnknown(text)) text = m.getItem("output.state", "Text");
      bscCommand(m.msgTarget(), id, text);
    } else if (m.compareClass("WDT.Echo")) {
      std::string q = m.getItem("Echo.Query", "Query");
      if (!isUnknown(q)) transport_.sendXap(m.msgSource(), "WDT.Echo", "Echo.Response", makeSendBody({{"Response", q}}));
    } else if (m.compareClass("Time.Today")) {
      sunrise_ = m.getItem("Time.Today", "Sunrise");
      sunset_ = m.getItem("Time.Today", "Sunset");
    } else if (m.compareClass("Homeseer.Role")) {
      std::string role = util::lower(m.getItem("Role.Query", "Role"));
      if (role == "application" || role == "any")
        transport_.sendXap("", "Homeseer.Role", "Role.Notification",
                           makeSendBody({{"Role", "UPB"}, {"Path", rolePath(ctx_.paths.exePath)}, {"Form", "EchoWindow"}}));
    }
  } catch (const std::exception& e) {
    ctx_.log.logError("Quillon", "Readmessage", e.what());
  }
}

void BscEndpoint::applyFilters(const XapMessage& m) {
  if (ctx_.filters.empty()) return;
  const std::string* filter = ctx_.filters.find(m.msgSource() + "~" + m.msgClass());
  if (!filter) return;
  FilteredMessage fm;
  const std::vector<std::string> sections = m.msgSection();
  for (std::size_t i = 0; i < sections.size(); ++i) {
    for (const std::string& line : m.msgCollection(static_cast<int>(i)).lines()) {
      std::size_t eq = line.find('=');
      std::string name = line.substr(0, eq);
      std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
      std::string key = sections[i] + "." + name;
      fm.values.emplace_back(key, std::move(value));
      fm.keys.push_back(std::move(key));
    }
  }
  std::size_t semi = filter->find(';');
  std::string tag = filter->substr(0, semi);
  std::string script = semi == std::string::npos ? "" : filter->substr(semi + 1);
  if (!tags_ || !tags_->hasTag(tag)) return;
  fm.lastChange = ctx_.now();
  fm.sequence = nextTagSequence();
  tags_->record(tag, std::move(fm));
  if (!script.empty() && queueScript_) queueScript_(script);
}

void BscEndpoint::sendReply(const Reply& r) { transport_.sendXap("", r.cls, r.section, r.body, r.subAddress, r.uid); }

void BscEndpoint::onReplyTimer() {
  if (queue_.empty()) {
    replyTimer_.stop();
    return;
  }
  queued_.erase(replyKey(queue_.front()));
  Reply r = std::move(queue_.front());
  queue_.pop_front();
  sendReply(r);
}

void BscEndpoint::bscQuery(const std::string& target) {
  if (registry_.devices().empty()) return;
  std::size_t colon = target.find(':');
  if (colon == std::string::npos) return;
  std::string pattern[4] = {"*", "*", "*", "*"};
  std::vector<std::string> parts = util::split(target.substr(colon + 1), ".");
  for (std::size_t i = 0; i < parts.size() && i < 4; ++i) {
    if (parts[i] == ">") break;
    pattern[i] = util::lower(parts[i]);
  }
  for (const auto& [code, device] : registry_.devices()) {
    try {
      if (!device || device->uid().empty() || !device->inUse()) continue;
      const std::string names[3] = {util::lower(subAddressLocation(*device)),
                                    util::lower(subAddressName(*device, ctx_.settings.mode)),
                                    util::lower(device->deviceType())};
      bool match = true;
      for (int i = 0; i < 3 && match; ++i) match = pattern[i] == "*" || pattern[i] == names[i];
      if (!match) continue;
      std::string sub = deviceSubAddress(*device, ctx_.settings.mode, true);
      Reply r{"xAPBSC.info", "input.state",
              makeSendBody({{"state", onOff(*device)}, {"DisplayText", devices::statusPicture(*device)}}), sub,
              registry_.deviceXapUid(*device)};
      if (replyTimer_.isActive()) {
        // A query repeated while replies are still going out does not queue the same reply twice;
        // the waiting replies are found by endpoint, not by a walk through the queue.
        auto [it, fresh] = queued_.try_emplace(replyKey(r), nullptr);
        if (fresh) {
          queue_.push_back(std::move(r));
          it->second = &queue_.back();
        } else {
          it->second->body = r.body;  // the reply still to go out carries the latest state
        }
      } else {
        replyTimer_.start(platform::Millis(kReplyIntervalMs));
        sendReply(r);
      }
    } catch (const std::exception& e) {
      ctx_.log.logError("Quillon", "BSCQuery", e.what());
    }
  }
}

void BscEndpoint::bscCommand(const std::string&, const std::string& id, const std::string& text) {
  if (id != "*" && util::leadingNumber(id) != 1) return;
  // A command without Text reads "Unknown"; that word is not sent on the radio.
  if (isUnknown(text) || text.empty()) {
    ctx_.logEvent("BSCCommand: command for ID " + id + " has no Text; nothing sent to the transmitter");
    return;
  }
  if (writeTransmitter_) writeTransmitter_(text);
}

void BscEndpoint::sendXapBsc(const std::string& deviceKey, const std::string& cls) {
  devices::W800Device* d = registry_.device(deviceKey);
  if (!d) return;
  transport_.sendXap("", cls, "input.state",
                     makeSendBody({{"State", onOff(*d)}, {"DisplayText", devices::statusPicture(*d)}}),
                     deviceSubAddress(*d, ctx_.settings.mode), registry_.deviceXapUid(*d));
}

void BscEndpoint::sendXapBscAs(const devices::W800Device& d, const std::string& cls, const std::string& typeWord,
                               const std::string& stateText) {
  transport_.sendXap("", cls, "input.state", makeSendBody({{"State", stateText}, {"DisplayText", devices::statusPicture(d)}}),
                     subAddressLocation(d) + "." + subAddressName(d, ctx_.settings.mode) + "." + typeWord,
                     registry_.deviceXapUid(d));
}

void BscEndpoint::sendXap(const std::string& cls, const std::string& section,
                          const std::vector<std::pair<std::string, std::string>>& items) {
  transport_.sendXap("", cls, section, makeSendBody(items));
}

}  // namespace quillon::xap
