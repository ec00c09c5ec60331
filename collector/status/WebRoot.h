#pragma once
// The status page's files: a fixed list of names, each with its content
// type, read from the web root once at start. Only these are ever served,
// so no request path reaches the file system.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrel::collector {

// Where the package installs the page, and where Debian's libjs-chart.js
// installs the chart library the page draws with.
inline constexpr char kDefaultWebRoot[] = "/usr/share/kestrel/web";
inline constexpr char kChartLibrary[] = "/usr/share/javascript/chart.js/chart.min.js";

struct WebFile {
  std::string path;         // as requested: "/status.css"
  std::string contentType;
  std::string body;
};

class WebRoot {
 public:
  // Reads every page file from `dir` and the chart library. A missing page
  // file is an error (nullopt and why) when `required`, else the pages are
  // left out and the caller tells that they are not installed; a missing
  // chart library only leaves the charts out.
  static std::optional<WebRoot> Load(const std::string& dir, const std::string& chartLibrary, bool required,
                                     std::string& error);

  // The file for a request path ("/" is the fleet, "/device/..." the device
  // page); nullptr for any other path.
  const WebFile* Find(std::string_view path) const;
  bool complete() const { return complete_; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  bool complete_ = false;
  std::vector<WebFile> files_;
};

}  // namespace kestrel::collector
