#pragma once
// Small objects handed to scripts: a read-only keyed collection (like the classic Collection)
// and the received xAP message as scripts read it.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine.h"

namespace quillon::xap {
class XapMessage;
}

namespace quillon::script {

// Items by position (from 1) or by key (letter case ignored); Count; For Each gives the values.
std::shared_ptr<vbs::HostObject> makeCollection(std::vector<std::pair<std::string, std::string>> items);
// A received message: msgClass, msgSource, msgTarget, msgUID, GetItem(section, item), MsgSection
// (array of names), SectionCount, Items(index) (a collection of the section's "name=value" lines
// keyed by name), CompareClass/CompareSource/CompareTarget(pattern) and Raw (the datagram text).
std::shared_ptr<vbs::HostObject> makeMessageObject(std::shared_ptr<const xap::XapMessage> message, std::string raw);

}  // namespace quillon::script
