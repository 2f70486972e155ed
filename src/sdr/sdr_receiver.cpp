#include "sdr/sdr_receiver.h"

#include <algorithm>

#include "util/text.h"

namespace quillon::sdr {

SdrReceiver::SdrReceiver(core::NodeContext& ctx, Rtl433Decoder::PacketSink sink, decode::DecodeEnv& env)
    : ctx_(ctx), decoder_(env, std::move(sink)), retry_(ctx.platform.loop()), poll_(ctx.platform.loop()) {
  poll_.setHandler([this] { poll(); });
}

SdrReceiver::~SdrReceiver() {
  *alive_ = false;
  stop();
}

void SdrReceiver::start() {
  command_ = util::trimWhitespace(ctx_.settings.rtl433Command);
  source_ = util::trimWhitespace(ctx_.settings.rtl433Source);
  backoff_ = 0;
  failureLogged_ = finished_ = false;
  kind_ = Kind::None;
  if (!command_.empty()) {
    kind_ = Kind::Command;
    if (!source_.empty()) ctx_.logEvent("Rtl433Source=" + source_ + " not read: Rtl433Command is set and runs rtl_433 itself");
    retry_.setHandler([this] { launch(); });
    launch();
  } else if (source_.rfind("tcp:", 0) == 0) {
    const std::string rest = source_.substr(4);
    const std::size_t colon = rest.rfind(':');
    const int port = colon == std::string::npos ? 0 : static_cast<int>(util::leadingNumber(rest.substr(colon + 1)));
    if (colon == std::string::npos || colon == 0 || port < 1 || port > 65535) {
      ctx_.logEvent("Rtl433Source=" + source_ + " is not tcp:HOST:PORT: the SDR receiver stays off");
      return;
    }
    kind_ = Kind::Tcp;
    host_ = rest.substr(0, colon);
    port_ = static_cast<std::uint16_t>(port);
    retry_.setHandler([this] { connectTcp(); });
    connectTcp();
  } else if (!source_.empty()) {
    kind_ = Kind::File;
    retry_.setHandler([this] { openFile(); });
    openFile();
  }
}

void SdrReceiver::stop() {
  retry_.stop();
  poll_.stop();
  if (child_) child_->stop();
  child_.reset();
  if (tcp_) tcp_->close();
  tcp_.reset();
  if (file_) file_->close();
  file_.reset();
  lines_in_.reset();
  stderr_in_.reset();
  pending_.clear();
  setOpen(false);
}

void SdrReceiver::applySettings(const core::SettingsChange& change) {
  if (!change.has("Rtl433Command") && !change.has("Rtl433Source")) return;
  stop();
  start();
}

void SdrReceiver::setOpen(bool open) {
  if (open == open_) return;
  open_ = open;
  since_ = ctx_.now();
  haveSince_ = true;
}

void SdrReceiver::retryLater(const std::string& what) {
  const int seconds = kBackoffSeconds[std::min(backoff_, std::size(kBackoffSeconds) - 1)];
  ++backoff_;
  // The first failure of a run of them is logged; the retries go on quietly, never spinning.
  if (!failureLogged_) {
    failureLogged_ = true;
    ctx_.logEvent(what + "; trying again in " + std::to_string(seconds) + " s, then up to every " +
                  std::to_string(kBackoffSeconds[std::size(kBackoffSeconds) - 1]) + " s");
  } else if (ctx_.settings.debugLog) {
    ctx_.logDebug(what + "; trying again in " + std::to_string(seconds) + " s");
  }
  retry_.start(platform::Millis(seconds * 1000), false);
}

// ---- the child process ----------------------------------------------------------------------

void SdrReceiver::launch() {
  const std::vector<std::string> words = splitCommand(command_);
  if (words.empty()) return;
  if (!child_) {
    child_ = ctx_.platform.createChildProcess();
    if (!child_) {
      ctx_.logEvent("Rtl433Command: this platform cannot run child programs; the SDR receiver stays off");
      return;
    }
    std::weak_ptr<bool> alive = alive_;
    child_->onStdout([this, alive](const std::string& bytes) {
      if (alive.expired()) return;
      bytes_ += bytes.size();
      feed(bytes);
    });
    child_->onStderr([this, alive](const std::string& bytes) {
      if (!alive.expired()) onStderr(bytes);
    });
    child_->onFinished([this, alive](bool started, int code, const std::string& error) {
      if (!alive.expired()) onChildFinished(started, code, error);
    });
  }
  lines_in_.reset();
  stderr_in_.reset();
  startedAtMs_ = ctx_.platform.clock().monotonicMs();
  setOpen(true);
  child_->start(words[0], std::vector<std::string>(words.begin() + 1, words.end()));
}

void SdrReceiver::onChildFinished(bool started, int exitCode, const std::string& error) {
  setOpen(false);
  if (!started) {
    retryLater("SDR receiver: rtl_433 could not be started (" + command_ + ": " + error + "); the rest of the node runs on");
    return;
  }
  const std::int64_t ranMs = ctx_.platform.clock().monotonicMs() - startedAtMs_;
  if (ranMs >= kHealthyRunSeconds * 1000) backoff_ = 0, failureLogged_ = false;
  ++restarts_;
  retryLater("SDR receiver: rtl_433 ended " + (exitCode < 0 ? std::string("abnormally") : "with exit code " + std::to_string(exitCode)) +
             " after " + std::to_string(ranMs / 1000) + " s (" + std::to_string(restarts_) + " restarts so far)");
}

void SdrReceiver::onStderr(const std::string& bytes) {
  stderr_in_.feed(bytes, [this](std::string_view line) {
    if (line.find_first_not_of(" \t") == std::string_view::npos) return;
    const std::int64_t now = ctx_.platform.clock().monotonicMs();
    if (now - stderrWindowMs_ >= 60000) {
      if (stderrDropped_) ctx_.logEvent("SDR receiver: " + std::to_string(stderrDropped_) + " more lines of rtl_433's error output not logged");
      stderrWindowMs_ = now;
      stderrInWindow_ = stderrDropped_ = 0;
    }
    if (stderrInWindow_ < kStderrLinesPerMinute) {
      ++stderrInWindow_;
      ctx_.logEvent("rtl_433: " + std::string(line.substr(0, 200)));
    } else {
      ++stderrDropped_;
    }
  });
}

// ---- TCP --------------------------------------------------------------------------------------

void SdrReceiver::connectTcp() {
  tcp_ = ctx_.platform.createTcpClient();
  std::weak_ptr<bool> alive = alive_;
  tcp_->onConnected([this, alive] {
    if (alive.expired()) return;
    backoff_ = 0;
    if (failureLogged_) ctx_.logEvent("SDR receiver: source " + source_ + " connected again");
    failureLogged_ = false;
    lines_in_.reset();
    setOpen(true);
  });
  tcp_->onData([this, alive](const std::string& bytes) {
    if (alive.expired()) return;
    bytes_ += bytes.size();
    feed(bytes);
  });
  auto lost = [this, alive](const std::string& why) {
    if (alive.expired() || retry_.isActive()) return;
    if (open_) ++restarts_;
    setOpen(false);
    retryLater("SDR receiver: source " + source_ + " " + why);
  };
  tcp_->onClosed([lost] { lost("closed the connection"); });
  tcp_->onError([lost](const std::string& e) { lost("failed: " + e); });
  tcp_->connectTo(host_, port_);
}

// ---- file or named pipe -------------------------------------------------------------------------

void SdrReceiver::openFile() {
  if (!file_) file_ = ctx_.platform.createFileReader();
  if (!file_) {
    ctx_.logEvent("Rtl433Source: this platform cannot read files without blocking; the SDR receiver stays off");
    return;
  }
  if (!file_->open(source_)) {
    retryLater("SDR receiver: source " + source_ + " cannot be opened: " + file_->error());
    return;
  }
  lines_in_.reset();
  setOpen(true);
  poll_.start(platform::Millis(kPollMs), true);
}

void SdrReceiver::poll() {
  if (!file_) return;
  std::string chunk;
  const platform::FileReader::Result r = file_->read(chunk, kReadChunk);
  if (r == platform::FileReader::Result::Data) {
    if (failureLogged_) ctx_.logEvent("SDR receiver: source " + source_ + " is sending again");
    failureLogged_ = false;
    backoff_ = 0;
    bytes_ += chunk.size();
    feed(chunk);
    return;
  }
  // A named pipe without a writer reads as its end; it stays open for the next writer.
  if (r == platform::FileReader::Result::Again || (r == platform::FileReader::Result::End && file_->isPipe())) return;
  poll_.stop();
  const std::string error = file_->error();
  file_->close();
  setOpen(false);
  if (r == platform::FileReader::Result::End) {
    finished_ = true;
    ctx_.logEvent("SDR receiver: source " + source_ + " read to its end: " + std::to_string(lines_) + " lines");
    return;
  }
  // A read error: opened again after the back-off.
  retryLater("SDR receiver: source " + source_ + " failed: " + error);
}

// ---- lines --------------------------------------------------------------------------------------

void SdrReceiver::feed(const std::string& bytes) {
  const std::uint64_t before = lines_in_.oversize();
  lines_in_.feed(bytes, [this](std::string_view line) { onLine(line); });
  if (lines_in_.oversize() != before)
    ctx_.logEvent("SDR line refused: longer than " + std::to_string(Rtl433Decoder::kMaxLine) + " bytes");
}

void SdrReceiver::onLine(std::string_view line) {
  ++lines_;
  if (!pending_.empty()) {  // keep the order behind lines still waiting
    if (pending_.size() < kMaxPending) pending_.emplace_back(line);
    return;
  }
  std::string detail;
  const Rtl433Decoder::Outcome out = decoder_.decodeLine(line, detail);
  if (out == Rtl433Decoder::Outcome::Busy) {
    pending_.emplace_back(line);
    drainPending();
    return;
  }
  if (out == Rtl433Decoder::Outcome::Packet || out == Rtl433Decoder::Outcome::Generic) {
    lastPacket_ = ctx_.now();
    haveLastPacket_ = true;
  }
  if (ctx_.settings.debugLog && !detail.empty()) ctx_.logDebug("SDR: " + detail);
}

void SdrReceiver::drainPending() {
  if (drainPosted_) return;
  drainPosted_ = true;
  std::weak_ptr<bool> alive = alive_;
  ctx_.platform.loop().post([this, alive] {
    if (alive.expired()) return;
    drainPosted_ = false;
    while (!pending_.empty()) {
      std::string detail;
      const Rtl433Decoder::Outcome out = decoder_.decodeLine(pending_.front(), detail);
      if (out == Rtl433Decoder::Outcome::Busy) {
        drainPending();
        return;
      }
      pending_.pop_front();
      if (out == Rtl433Decoder::Outcome::Packet || out == Rtl433Decoder::Outcome::Generic) {
        lastPacket_ = ctx_.now();
        haveLastPacket_ = true;
      }
    }
  });
}

rflink::LinkStatus SdrReceiver::status() const {
  rflink::LinkStatus s;
  s.role = "sdr";
  s.configured = kind_ != Kind::None;
  s.open = open_;
  s.kind = kind_ == Kind::Command ? "rtl_433" : kind_ == Kind::Tcp ? "tcp" : "file";
  s.tcp = kind_ == Kind::Tcp;
  s.where = kind_ == Kind::Command ? command_ : source_;
  if (finished_) s.where += " (read to its end)";
  s.haveSince = haveSince_;
  s.since = since_;
  s.bytes = bytes_;
  s.lines = lines_;
  s.packets = decoder_.packets();
  s.haveLastPacket = haveLastPacket_;
  s.lastPacket = lastPacket_;
  s.reconnects = restarts_;
  return s;
}

}  // namespace quillon::sdr
