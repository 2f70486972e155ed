// WScript.Shell: Run and Exec of commands through /bin/sh -c.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "native.h"

extern char** environ;

namespace quillon::vbs {

namespace {

// A started command: its output is read when the script asks for it.
class ExecObject : public NativeObject {
 public:
  ExecObject(pid_t pid, int outFd, int errFd) : pid_(pid), out_(outFd), err_(errFd) {}
  ~ExecObject() override {
    finish();
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
  }
  std::string typeName() const override { return "WshExec"; }
  void invoke(Interp&, int id, CallKind, Args, Variant& r) override {
    switch (id) {
      case 1: case 2: {  // StdOut / StdErr
        drain();
        r = Variant::object(new Stream(id == 1 ? outText_ : errText_));
        return;
      }
      case 3: poll(); r = Variant::lng(done_ ? 1 : 0); return;
      case 4: finish(); r = Variant::lng(exitCode_); return;
      case 5: if (!done_) kill(pid_, SIGTERM); finish(); return;
      case 6: r = Variant::lng(pid_); return;
      default: raise(err::NoMember);
    }
  }
 protected:
  const MemberTable& table() const override {
    static const MemberTable t{"stdout", "stderr", "status", "exitcode", "terminate", "processid"};
    return t;
  }
 private:
  class Stream : public NativeObject {
   public:
    explicit Stream(std::string t) : text_(std::move(t)) {}
    std::string typeName() const override { return "TextStream"; }
    void invoke(Interp&, int id, CallKind, Args, Variant& r) override {
      switch (id) {
        case 1: r = Variant::str(text_.substr(pos_)); pos_ = text_.size(); return;
        case 2: {
          size_t e = text_.find('\n', pos_);
          std::string l = text_.substr(pos_, e == std::string::npos ? std::string::npos : e - pos_);
          pos_ = e == std::string::npos ? text_.size() : e + 1;
          if (!l.empty() && l.back() == '\r') l.pop_back();
          r = Variant::str(l);
          return;
        }
        case 3: r = Variant::boolean(pos_ >= text_.size()); return;
        default: raise(err::NoMember);
      }
    }
   protected:
    const MemberTable& table() const override { static const MemberTable t{"readall", "readline", "atendofstream"}; return t; }
   private:
    std::string text_;
    size_t pos_ = 0;
  };
  static void readAll(int& fd, std::string& into) {
    if (fd < 0) return;
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) into.append(buf, static_cast<size_t>(n));
    close(fd);
    fd = -1;
  }
  void drain() {
    readAll(out_, outText_);
    readAll(err_, errText_);
  }
  void poll() {
    if (done_) return;
    int st;
    if (waitpid(pid_, &st, WNOHANG) == pid_) record(st);
  }
  void finish() {
    drain();
    if (done_) return;
    int st;
    if (waitpid(pid_, &st, 0) == pid_) record(st);
    done_ = true;
  }
  void record(int st) {
    done_ = true;
    exitCode_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  }
  pid_t pid_;
  int out_, err_;
  std::string outText_, errText_;
  bool done_ = false;
  int exitCode_ = 0;
};

pid_t spawnShell(const std::string& cmd, int* outFd, int* errFd) {
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  int po[2] = {-1, -1}, pe[2] = {-1, -1};
  if (outFd) {
    if (pipe(po) != 0 || pipe(pe) != 0) raise(err::PermissionDenied);
    posix_spawn_file_actions_adddup2(&fa, po[1], 1);
    posix_spawn_file_actions_adddup2(&fa, pe[1], 2);
    posix_spawn_file_actions_addclose(&fa, po[0]);
    posix_spawn_file_actions_addclose(&fa, pe[0]);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  }
  const char* argv[] = {"/bin/sh", "-c", cmd.c_str(), nullptr};
  pid_t pid;
  int rc = posix_spawn(&pid, "/bin/sh", &fa, nullptr, const_cast<char**>(argv), environ);
  posix_spawn_file_actions_destroy(&fa);
  if (outFd) {
    close(po[1]);
    close(pe[1]);
    if (rc != 0) { close(po[0]); close(pe[0]); }
    *outFd = po[0];
    *errFd = pe[0];
  }
  if (rc != 0) raise(err::FileNotFound);
  return pid;
}

class Shell : public NativeObject {
 public:
  std::string typeName() const override { return "IWshShell3"; }
  void invoke(Interp&, int id, CallKind, Args a, Variant& r) override {
    switch (id) {
      case 1: {  // Run(command [, window [, wait]])
        needArgs(a, 1, 3);
        bool wait = a.n > 2 && toBool(a[2]);
        std::fflush(stdout);
        pid_t pid = spawnShell(toString(a[0]), nullptr, nullptr);
        int st = 0;
        if (wait) {
          waitpid(pid, &st, 0);
          r = Variant::lng(WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st));
        } else {
          pending_.push_back(pid);
          r = Variant::lng(0);
        }
        return;
      }
      case 2: {  // Exec(command)
        needArgs(a, 1, 1);
        int o, e;
        pid_t pid = spawnShell(toString(a[0]), &o, &e);
        r = Variant::object(new ExecObject(pid, o, e));
        return;
      }
      case 3: {  // ExpandEnvironmentStrings: %NAME%
        std::string s = toString(a[0]), out;
        for (size_t i = 0; i < s.size(); ++i) {
          size_t j = s[i] == '%' ? s.find('%', i + 1) : std::string::npos;
          if (j == std::string::npos) { out += s[i]; continue; }
          const char* v = std::getenv(s.substr(i + 1, j - i - 1).c_str());
          out += v ? std::string(v) : s.substr(i, j - i + 1);
          i = j;
        }
        r = Variant::str(out);
        return;
      }
      default: raise(err::NoMember);
    }
  }
  ~Shell() override {
    for (pid_t p : pending_) waitpid(p, nullptr, 0);
  }
 protected:
  const MemberTable& table() const override { static const MemberTable t{"run", "exec", "expandenvironmentstrings"}; return t; }
 private:
  std::vector<pid_t> pending_;
};

}  // namespace

Object* makeShell() { return new Shell(); }

}  // namespace quillon::vbs
