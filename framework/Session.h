#pragma once
// The platform's application object: created once before any window, alive
// until the last window is gone.
#include <memory>

namespace fw {

namespace backend {
class Session;
}

class FrameworkSession {
 public:
  FrameworkSession(int& argc, char** argv);
  ~FrameworkSession();
  FrameworkSession(const FrameworkSession&) = delete;
  FrameworkSession& operator=(const FrameworkSession&) = delete;

  int RunMessageLoop();

 private:
  std::unique_ptr<backend::Session> session_;
};

}  // namespace fw
