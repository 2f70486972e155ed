#include "script/script_host.h"

#include <filesystem>
#include <fstream>

#include "script/script_objects.h"
#include "util/text.h"
#include "xap/xap_message.h"

namespace quillon::script {

namespace {

// Script errors are always written to the log file as well: a user has to find them.
void logScriptLine(core::NodeContext& ctx, const std::string& text) {
  ctx.logEvent(text);
  if (!ctx.log.debugLog()) ctx.log.writeLogLine("Quillon", text);
}

std::string withoutTxt(const std::string& name) {
  std::string out = name;
  for (std::size_t p; (p = util::ifind(out, ".txt")) != std::string::npos;) out.erase(p, 4);
  return out;
}

}  // namespace

std::string wrapWsf(const std::string& name, const std::string& procedure, const std::string& parameter) {
  const std::string q = "\"";
  const std::string lines[] = {
      "<job id=" + q + name + q + ">",
      "<script language=" + q + "VBScript" + q + " src=" + q + "..\\" + name + ".txt" + q + "/>",
      "<script language=" + q + "VBScript" + q + ">",
      "Dim xap",
      "Set xap = createobject(" + q + "Lumaweave.Application" + q + ")",
      util::trim(procedure + " " + q + parameter + q),
      "Set xap = Nothing",
      "</Script>",
      "</Job>",
  };
  std::string out;
  for (const std::string& l : lines) out += l + "\r\n";
  return out;
}

ScriptHost::ScriptHost(core::NodeContext& ctx, ApplicationServices services, std::string vbsProgram)
    : ctx_(ctx),
      services_(std::move(services)),
      vbsProgram_(std::move(vbsProgram)),
      folders_{ctx.paths.appFolder, ctx.paths.scriptsDir()},
      engine_(std::make_unique<vbs::Engine>()),
      queueTimer_(ctx.platform.loop()),
      periodicTimer_(ctx.platform.loop()),
      subscriptions_([this](const std::string& t) { log(t); }) {
  services_.host = this;
  queueTimer_.setHandler([this] { onQueueTimer(); });
  periodicTimer_.setHandler([this] { onPeriodicTimer(); });
}

ScriptHost::~ScriptHost() {
  main_.reset();
  engine_.reset();
}

void ScriptHost::log(const std::string& text) { logScriptLine(ctx_, text); }

void ScriptHost::setTimeout(std::chrono::milliseconds t) {
  timeout_ = t;
  engine_->setTimeout(t);
}

void ScriptHost::requestInitScriptControl() {
  if (!engine_->busy()) {
    initScriptControl();
    return;
  }
  // Resetting the engine under the running script would pull its code away: do it afterwards.
  if (initPending_) return;
  initPending_ = true;
  ctx_.platform.loop().post([this] {
    initPending_ = false;
    initScriptControl();
  });
}

void ScriptHost::initScriptControl() {
  main_.reset();
  engine_->reset();
  engine_->setTimeout(timeout_);
  engine_->setClock([this] { return ctx_.now().toSerial(); });
  // No dialogs in a node: a MsgBox text is a line of the log file, an InputBox gets its default.
  engine_->setMessageSink([this](const std::string& t) { ctx_.log.writeLogLine("Script", t); });
  engine_->addObject("xap", makeApplicationObject(services_), true);
  readScript();
}

void ScriptHost::readScript() {
  if (engine_->busy()) {
    // The running script may be the main script itself: reload once it has returned.
    ctx_.platform.loop().post([this] { readScript(); });
    return;
  }
  const std::string path = findIgnoringCase(folders_.scriptsDir + "/" + kMainScriptFile);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    main_.reset();
    return;
  }
  engine_->removeModule(kMainModule);
  main_ = std::make_unique<ScriptModule>(*engine_, folders_, [this](const std::string& t) { log(t); }, &ctx_.counters);
  main_->add(kMainScriptFile, kMainModule);
}

void ScriptHost::queueTagEvent(const std::string& text) {
  queue_.push_back(text);
  if (!queueTimer_.isActive()) queueTimer_.start(platform::Millis(kStartDelayMs));
}

void ScriptHost::onQueueTimer() {
  if (draining_) return;
  draining_ = true;
  // The timer stays enabled with a long interval, so no second tick interrupts a long run.
  queueTimer_.start(platform::Millis(kDrainIntervalMs));
  while (!queue_.empty()) {
    std::string text = std::move(queue_.front());
    queue_.pop_front();
    if (main_) main_->run("Main", vbs::Variant::str(std::move(text)));
  }
  queueTimer_.stop();
  draining_ = false;
}

void ScriptHost::armPeriodic(const core::PeriodicSchedule& schedule) {
  schedule_ = schedule;
  periodicTimer_.stop();
  if (!schedule.enabled) return;
  minuteCounter_ = schedule.minuteCounter;
  periodicTimer_.start(platform::Millis(schedule.intervalMs));
}

void ScriptHost::onPeriodicTimer() {
  if (--minuteCounter_ >= 0) {
    if (periodicTimer_.interval().count() != 60000) periodicTimer_.start(platform::Millis(60000));
    return;
  }
  queueTagEvent("");
  armPeriodic(schedule_);
}

std::unique_ptr<ScriptModule> ScriptHost::freshRunModule(const std::string& file) {
  // Every call gets a module of its own: nothing of an earlier call's code or variables stays.
  engine_->removeModule(kRunModule);
  auto m = std::make_unique<ScriptModule>(*engine_, folders_, [this](const std::string& t) { log(t); }, &ctx_.counters);
  m->add(file, kRunModule);
  return m;
}

void ScriptHost::run(const std::string& file) { freshRunModule(file)->run("main", vbs::Variant::str("")); }

vbs::Variant ScriptHost::runEx(const std::string& file, const std::string& procedure, const vbs::Variant& parameter) {
  return freshRunModule(file)->run(procedure, parameter);
}

vbs::Variant ScriptHost::spawn(const std::string& scriptName, const std::string& procedure, const std::string& parameter) {
  const std::string name = util::replaceAll(withoutTxt(scriptName), "\\", "/");
  const std::string wrapper = folders_.scriptsDir + "/" + name + "~.wsf";
  {
    std::ofstream out(wrapper, std::ios::binary | std::ios::trunc);
    out << wrapWsf(util::replaceAll(name, "/", "\\"), procedure, parameter);
    if (!out) {
      log("Spawn: cannot write " + wrapper);
      return vbs::Variant::object(nullptr);
    }
  }
  const bool started = ctx_.platform.startDetached(vbsProgram_, {"--app-dir", folders_.appFolder, wrapper});
  if (!started) log("Spawn: cannot start " + vbsProgram_ + " \"" + wrapper + "\"");
  else if (ctx_.log.debugLog()) ctx_.logDebug("Spawn: " + vbsProgram_ + " \"" + wrapper + "\"");
  auto exec = vbs::makeHostObject("WshScriptExec");
  exec->property("Status", [started](vbs::Args) { return vbs::Variant::lng(started ? 0 : 1); });
  exec->property("CommandLine", [line = vbsProgram_ + " \"" + wrapper + "\""](vbs::Args) { return vbs::Variant::str(line); });
  return vbs::makeObject(exec);
}

void ScriptHost::selectXapMessage(const std::string& target, const std::string& cls, const std::string& section,
                                  const std::string& source, const std::string& script) {
  subscriptions_.select(target, cls, section, source, resolveScriptPath(script, folders_));
}

void ScriptHost::deselectXapMessage(const std::string& target, const std::string& cls, const std::string& section,
                                    const std::string&, const std::string& script) {
  subscriptions_.deselect(target, cls, section, resolveScriptPath(script, folders_));
}

vbs::Variant ScriptHost::getXapMessage(const std::string& handle) {
  std::shared_ptr<const StoredMessage> m = subscriptions_.take(static_cast<int>(util::leadingNumber(handle)));
  if (!m) return vbs::Variant::object(nullptr);
  return vbs::makeObject(makeMessageObject(m->message, m->raw));
}

void ScriptHost::deliver(const xap::XapMessage& message, const std::string& raw) {
  if (subscriptions_.size() == 0 || !message.hasSections()) return;  // heartbeats carry no sections
  subscriptions_.deliver(message, raw);
}

}  // namespace quillon::script
