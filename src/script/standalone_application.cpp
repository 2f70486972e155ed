#include "script/standalone_application.h"

#include <cstdlib>

#include "core/app_paths.h"
#include "core/settings.h"
#include "core/settings_table.h"
#include "util/text.h"

namespace quillon::script {

std::string toolAppFolder(const std::string& option) {
  if (!option.empty()) return option;
  if (const char* env = std::getenv("QUILLON_APP_DIR"); env && *env) return env;
  return core::defaultAppFolder();
}

StandaloneApplication::StandaloneApplication(std::unique_ptr<platform::Platform> platform, const std::string& appFolder)
    : platform_(std::move(platform)),
      ctx_(*platform_, core::AppPaths{appFolder, core::executablePath()}),
      transport_(ctx_) {
  ctx_.computerName = platform_->machineName().substr(0, 128);
  ctx_.interfaceAddress = ctx_.ini.getIniSetting("Interface", "InterfaceAddress", "Default", core::kXapSettingsFile);
  ctx_.broadcastAddress = ctx_.ini.getIniSetting("Interface", "BroadcastAddress", "Default", core::kXapSettingsFile);
  ctx_.nodeUid = core::formatNodeUid(
      util::removeChar(core::storedSetting(ctx_.ini, core::kSettingsSection, "UID"), '"'));
  ctx_.log.setDebugLog(util::toBool(core::storedSetting(ctx_.ini, core::kSettingsSection, "DebugLog")));
  transport_.setXapSource("ovk.W800." + ctx_.computerName);
  transport_.setXapUid(ctx_.nodeUid);
  transport_.setBroadcastAddress(ctx_.broadcastAddress);
  transport_.setInterfaceAddress(ctx_.interfaceAddress);
  ctx_.xapReady = transport_.init() > 0;
  if (!ctx_.xapReady) ctx_.log.writeLogLine("Quillon", "Script job: xAP sockets could not be bound; nothing is sent");

  services_.sendUdp = [this](const std::string& text) { transport_.sendRawXap(text); };
  services_.sendXap = [this](const std::string& target, const std::string& cls, const std::string& section,
                             const std::string& data, const std::string& sub, const std::string& uid,
                             const std::string& tsub) { transport_.sendXap(target, cls, section, data, sub, uid, tsub); };
  services_.ini = &ctx_.ini;
  services_.appPath = appFolder;
  services_.now = [this] { return ctx_.now(); };
  services_.log = [this](const std::string& text) { ctx_.logEvent(text); };
}

StandaloneApplication::~StandaloneApplication() {
  ctx_.ini.flushIniCache();
  transport_.close();
}

}  // namespace quillon::script
