#pragma once
// The platform's application object: created once before any window, alive
// until the last window is gone.
#include <memory>

namespace fw {

namespace backend {
class PlatformApp;
}

class PlatformApp {
 public:
  PlatformApp(int& argc, char** argv);
  ~PlatformApp();
  PlatformApp(const PlatformApp&) = delete;
  PlatformApp& operator=(const PlatformApp&) = delete;

  int RunMessageLoop();

 private:
  std::unique_ptr<backend::PlatformApp> app_;
};

}  // namespace fw
