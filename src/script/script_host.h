#pragma once
// The script host: the engine with the `xap` object, the main script "Quillon.txt" and its queue
// of event texts (each runs Main once, in order), the periodic event, scripts run or started on
// request, and the xAP message subscriptions.
#include <chrono>
#include <deque>
#include <memory>
#include <string>

#include "core/node_context.h"
#include "core/settings.h"
#include "engine.h"
#include "platform/event_loop.h"
#include "script/application.h"
#include "script/script_module.h"
#include "script/subscriptions.h"

namespace quillon::script {

inline constexpr const char* kMainScriptFile = "Quillon.txt";
inline constexpr const char* kMainModule = "Main";
inline constexpr const char* kRunModule = "M1";

// The job file Spawn writes: it includes the script, creates the object model and calls the
// procedure with the parameter.
std::string wrapWsf(const std::string& name, const std::string& procedure, const std::string& parameter);

class ScriptHost {
 public:
  static constexpr int kStartDelayMs = 5;
  static constexpr int kDrainIntervalMs = 60000;
  static constexpr std::chrono::milliseconds kTimeout{90000};

  // vbsProgram runs the job files Spawn writes (this platform's wscript).
  ScriptHost(core::NodeContext& ctx, ApplicationServices services, std::string vbsProgram);
  ~ScriptHost();

  // Resets the engine (every module and object dropped), adds `xap`, sets the time-out and loads
  // the main script. Asked for from inside a script, it runs once that script has returned.
  void initScriptControl();
  void requestInitScriptControl();
  void readScript();

  // QueueTagEvent: Main runs with the text 5 ms later, after the texts already waiting.
  void queueTagEvent(const std::string& text);
  // Arms (or re-arms, after a settings change) the periodic event.
  void armPeriodic(const core::PeriodicSchedule& schedule);

  // Loads a file into a fresh module "M1" and runs its "main" / the given procedure.
  void run(const std::string& file);
  vbs::Variant runEx(const std::string& file, const std::string& procedure, const vbs::Variant& parameter);
  // Writes "<name>~.wsf" beside the scripts and starts it as a separate process; not waited for.
  vbs::Variant spawn(const std::string& scriptName, const std::string& procedure, const std::string& parameter);

  void selectXapMessage(const std::string& target, const std::string& cls, const std::string& section,
                        const std::string& source, const std::string& script);
  void deselectXapMessage(const std::string& target, const std::string& cls, const std::string& section,
                          const std::string& source, const std::string& script);
  vbs::Variant getXapMessage(const std::string& handle);
  // Every received message, for the subscriptions.
  void deliver(const xap::XapMessage& message, const std::string& raw);

  vbs::Engine& engine() { return *engine_; }
  Subscriptions& subscriptions() { return subscriptions_; }
  bool hasMainScript() const { return main_ != nullptr; }
  std::size_t queueLength() const { return queue_.size(); }
  // Tests shorten the time-out.
  void setTimeout(std::chrono::milliseconds t);

 private:
  void onQueueTimer();
  void onPeriodicTimer();
  void log(const std::string& text);
  std::unique_ptr<ScriptModule> freshRunModule(const std::string& file);

  core::NodeContext& ctx_;
  ApplicationServices services_;
  std::string vbsProgram_;
  ScriptFolders folders_;
  std::unique_ptr<vbs::Engine> engine_;
  std::unique_ptr<ScriptModule> main_;
  std::deque<std::string> queue_;
  platform::Timer queueTimer_;
  platform::Timer periodicTimer_;
  core::PeriodicSchedule schedule_;
  int minuteCounter_ = 0;
  bool draining_ = false;
  bool initPending_ = false;
  std::chrono::milliseconds timeout_ = kTimeout;
  Subscriptions subscriptions_;
};

}  // namespace quillon::script
