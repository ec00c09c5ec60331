#include <QApplication>
#include <array>
#include <filesystem>
#include <string>
#include <system_error>

#include "framework/backend/Backend.h"

namespace fw::backend {

namespace {
// Qt is handed the program name only: it would obey options such as
// -reverse, -style or -stylesheet, and the window takes no command line.
// Environment settings (QT_QPA_PLATFORM and the like) still apply.
class QtPlatformApp : public PlatformApp {
 public:
  explicit QtPlatformApp(const char* programName)
      : programName_(programName != nullptr ? programName : "kestrel"),
        args_{programName_.data(), nullptr},
        app_(argc_, args_.data()) {}
  int RunMessageLoop() override { return QApplication::exec(); }

 private:
  // QApplication keeps referring to these for its whole life.
  std::string programName_;
  int argc_ = 1;
  std::array<char*, 2> args_;
  QApplication app_;
};
}  // namespace

std::unique_ptr<PlatformApp> StartPlatformApp(int& argc, char** argv) {
  return std::make_unique<QtPlatformApp>(argc > 0 ? argv[0] : nullptr);
}

std::string ExecutablePath() {
  std::error_code error;
  const auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

}  // namespace fw::backend
