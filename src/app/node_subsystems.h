#pragma once
// The node's subsystems that are more than one object (xAP: identity, hub and transport; the RF
// links with the replay standing in), or one object at two places of the list (the script host:
// its engine first, its periodic timer once the settings are read).
#include <functional>
#include <memory>
#include <string>

#include "app/node_assembly.h"
#include "xap/message_drain.h"

namespace quillon::app {

class NodeAssembly::ScriptEngine final : public core::Subsystem {
 public:
  explicit ScriptEngine(NodeAssembly& a) : a_(a) {}
  const char* name() const override { return "Application"; }
  void start() override { a_.scripts_.initScriptControl(); }

 private:
  NodeAssembly& a_;
};

class NodeAssembly::XapService final : public core::Subsystem {
 public:
  explicit XapService(NodeAssembly& a)
      : a_(a),
        drain_(a.ctx_, [&a] { return a.transport_.getMessage(); }, [&a](const std::string& m) { a.bsc_.readMessage(m); }) {}
  const char* name() const override { return "xap"; }
  void start() override;
  void stop() override;
  void applySettings(const core::SettingsChange& change) override;
  xap::XapHub* hub() { return hub_.get(); }

 private:
  void startHubIfAsked();

  NodeAssembly& a_;
  std::unique_ptr<xap::XapHub> hub_;
  xap::MessageDrain drain_;
};

class NodeAssembly::TagFile final : public core::Subsystem {
 public:
  explicit TagFile(NodeAssembly& a) : a_(a) {}
  const char* name() const override { return "SaveDeviceDictionary"; }
  void start() override { a_.tagStore_.load(a_.ctx_.ini); }
  void save() override { a_.tagStore_.save(a_.ctx_.ini); }

 private:
  NodeAssembly& a_;
};

class NodeAssembly::PeriodicScript final : public core::Subsystem {
 public:
  explicit PeriodicScript(NodeAssembly& a) : a_(a) {}
  const char* name() const override { return "PeriodicScript"; }
  void start() override { a_.scripts_.armPeriodic(core::periodicSchedule(a_.ctx_.settings.periodicScriptInterval)); }
  void applySettings(const core::SettingsChange& change) override {
    if (change.now.periodicScriptInterval != change.before.periodicScriptInterval) start();
  }

 private:
  NodeAssembly& a_;
};

class NodeAssembly::Links final : public core::Subsystem {
 public:
  explicit Links(NodeAssembly& a) : a_(a) {}
  const char* name() const override { return "CommAndTimer"; }
  void start() override;
  void stop() override;
  void applySettings(const core::SettingsChange& change) override;

 private:
  NodeAssembly& a_;
};

}  // namespace quillon::app
