#include "script/script_objects.h"

#include "errors.h"
#include "util/text.h"
#include "xap/xap_message.h"

namespace quillon::script {

namespace {

std::string argText(vbs::Args a, int i) { return i < a.n ? vbs::asString(a[i]) : std::string(); }

}  // namespace

std::shared_ptr<vbs::HostObject> makeCollection(std::vector<std::pair<std::string, std::string>> items) {
  auto data = std::make_shared<const std::vector<std::pair<std::string, std::string>>>(std::move(items));
  auto c = vbs::makeHostObject("Collection");
  c->method("Item", [data](vbs::Args a) -> vbs::Variant {
    if (a.n != 1) vbs::raise(450);
    if (a[0].isString()) {
      const std::string key = vbs::asString(a[0]);
      for (const auto& [k, v] : *data)
        if (util::iequals(k, key)) return vbs::Variant::str(v);
      vbs::raise(5);
    }
    double i = vbs::asNumber(a[0], -1);
    if (i < 1 || i > static_cast<double>(data->size())) vbs::raise(9);
    return vbs::Variant::str((*data)[static_cast<std::size_t>(i) - 1].second);
  });
  c->setDefault("Item");
  c->property("Count", [data](vbs::Args) { return vbs::Variant::lng(static_cast<std::int32_t>(data->size())); });
  c->method("Exists", [data](vbs::Args a) {
    const std::string key = argText(a, 0);
    for (const auto& [k, v] : *data)
      if (util::iequals(k, key)) return vbs::Variant::boolean(true);
    return vbs::Variant::boolean(false);
  });
  c->method("Keys", [data](vbs::Args) {
    std::vector<vbs::Variant> keys;
    for (const auto& [k, v] : *data) keys.push_back(vbs::Variant::str(k));
    return vbs::makeArray(std::move(keys));
  });
  c->enumerator([data] {
    std::vector<vbs::Variant> out;
    for (const auto& [k, v] : *data) out.push_back(vbs::Variant::str(v));
    return out;
  });
  return c;
}

std::shared_ptr<vbs::HostObject> makeMessageObject(std::shared_ptr<const xap::XapMessage> m, std::string raw) {
  auto o = vbs::makeHostObject("XapMessage");
  auto text = [](const std::string& s) { return vbs::Variant::str(s); };
  o->property("msgClass", [m, text](vbs::Args) { return text(m->msgClass()); });
  o->property("msgSource", [m, text](vbs::Args) { return text(m->msgSource()); });
  o->property("msgTarget", [m, text](vbs::Args) { return text(m->msgTarget()); });
  o->property("msgUID", [m, text](vbs::Args) { return text(m->msgUid()); });
  o->property("Raw", [raw = std::move(raw)](vbs::Args) { return vbs::Variant::str(raw); });
  o->method("GetItem", [m](vbs::Args a) { return vbs::Variant::str(m->getItem(argText(a, 0), argText(a, 1))); });
  o->method("MsgSection", [m](vbs::Args) {
    std::vector<vbs::Variant> names;
    for (const std::string& s : m->msgSection()) names.push_back(vbs::Variant::str(s));
    return vbs::makeArray(std::move(names));
  });
  o->property("SectionCount", [m](vbs::Args) {
    return vbs::Variant::lng(static_cast<std::int32_t>(m->msgSection().size()));
  });
  o->method("Items", [m](vbs::Args a) {
    int index = a.n > 0 ? static_cast<int>(vbs::asNumber(a[0], -1)) : -1;
    std::vector<std::pair<std::string, std::string>> items;
    for (const std::string& line : m->msgCollection(index).lines()) {
      std::size_t eq = line.find('=');
      items.emplace_back(util::trim(line.substr(0, eq)), eq == std::string::npos ? "" : line.substr(eq + 1));
    }
    return vbs::makeObject(makeCollection(std::move(items)));
  });
  o->method("CompareClass", [m](vbs::Args a) { return vbs::Variant::boolean(m->compareClass(argText(a, 0))); });
  o->method("CompareSource", [m](vbs::Args a) { return vbs::Variant::boolean(m->compareSource(argText(a, 0))); });
  o->method("CompareTarget", [m](vbs::Args a) { return vbs::Variant::boolean(m->compareTarget(argText(a, 0))); });
  return o;
}

}  // namespace quillon::script
