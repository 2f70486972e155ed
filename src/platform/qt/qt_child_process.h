#pragma once
// The child process over QProcess (internal to the Qt adapter).
#include <memory>

#include "platform/child_process.h"

class QProcess;

namespace quillon::platform {

class QtChildProcess : public ChildProcess {
 public:
  QtChildProcess();
  ~QtChildProcess() override;
  void start(const std::string& program, const std::vector<std::string>& args) override;
  void stop() override;
  bool running() const override;

 private:
  void wire();
  std::unique_ptr<QProcess> process_;
};

}  // namespace quillon::platform
