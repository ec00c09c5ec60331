#include <QApplication>
#include <filesystem>
#include <system_error>

#include "framework/backend/Backend.h"

namespace fw::backend {

namespace {
class QtPlatformApp : public PlatformApp {
 public:
  QtPlatformApp(int& argc, char** argv) : app_(argc, argv) {}
  int RunMessageLoop() override { return QApplication::exec(); }

 private:
  QApplication app_;
};
}  // namespace

std::unique_ptr<PlatformApp> StartPlatformApp(int& argc, char** argv) {
  return std::make_unique<QtPlatformApp>(argc, argv);
}

std::string ExecutablePath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace fw::backend
