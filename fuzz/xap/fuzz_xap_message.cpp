// libFuzzer target: parse any datagram, read it back and rebuild it. Seeds: fuzz/xap/corpus.
#include <cstddef>
#include <cstdint>
#include <string>

#include "xap/xap_message.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string raw(reinterpret_cast<const char*>(data), size);
  std::size_t errors = 0;
  quillon::xap::XapMessage m([&errors](const std::string&) { ++errors; });
  m.fromXap(raw);
  auto names = m.msgSection();
  for (const auto& n : names) {
    const auto& sec = m.msgCollection(0);
    for (const auto& k : sec.keys()) (void)m.getItem(n, k);
  }
  (void)m.msgCollection(static_cast<int>(m.sectionCount()));
  (void)quillon::xap::XapMessage::compareAddress(m.msgSource(), m.msgTarget());
  (void)m.compareClass(m.msgUid());

  // Rebuilding from what was read must parse back to the same header.
  quillon::xap::XapMessage b;
  b.setMsgUid(m.msgUid());
  b.setMsgClass(m.msgClass());
  b.setMsgSource(m.msgSource());
  b.setMsgTarget("");
  b.addHeader();
  b.addSection("s");
  b.addItem("s", "k", m.msgClass());
  quillon::xap::XapMessage r;
  r.fromXap(b.toXap());
  if (r.msgClass() != m.msgClass() || r.msgUid() != m.msgUid() || r.msgSource() != m.msgSource() ||
      r.getItem("s", "k") != m.msgClass())
    __builtin_trap();
  return 0;
}
