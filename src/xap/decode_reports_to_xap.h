#pragma once
// The decoders' reports as xAP messages: device events from the device's BSC endpoint (noted by
// the endpoint for its own bookkeeping) and IR schema signals.
#include "core/node_context.h"
#include "decode/families/decode_reports.h"
#include "devices/device_registry.h"
#include "devices/status_picture.h"
#include "xap/bsc_endpoint.h"
#include "xap/xap_transport.h"

namespace quillon::xap {

class DecodeReportsToXap final : public decode::DecodeReports {
 public:
  DecodeReportsToXap(core::NodeContext& ctx, XapTransport& transport, devices::DeviceRegistry& registry)
      : ctx_(ctx), transport_(transport), registry_(registry) {}

  void deviceEvent(const devices::W800Device& d, const std::string& state) override {
    transport_.sendXap("", "xapbsc.event", "input.state",
                       makeSendBody({{"State", state}, {"DisplayText", devices::statusPicture(d)}, {"Text", d.text()}}),
                       deviceSubAddress(d, ctx_.settings.mode), registry_.deviceXapUid(d));
  }
  void irSignal(const devices::W800Device& d, const std::string& signal) override {
    transport_.sendXap("", "IR.Receive", "IR.Signal",
                       makeSendBody({{"Device", deviceSubAddress(d, ctx_.settings.mode)}, {"Signal", signal}}));
  }

 private:
  core::NodeContext& ctx_;
  XapTransport& transport_;
  devices::DeviceRegistry& registry_;
};

}  // namespace quillon::xap
