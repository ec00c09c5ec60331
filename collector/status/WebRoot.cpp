#include "collector/status/WebRoot.h"

#include "collector/FileText.h"

namespace kestrel::collector {

namespace {

struct Known {
  const char* path;
  const char* file;
  const char* contentType;
};

constexpr Known kPageFiles[] = {
    {"/", "index.html", "text/html; charset=utf-8"},
    {"/device/*", "device.html", "text/html; charset=utf-8"},
    {"/status.css", "status.css", "text/css; charset=utf-8"},
    {"/common.js", "common.js", "text/javascript; charset=utf-8"},
    {"/fleet.js", "fleet.js", "text/javascript; charset=utf-8"},
    {"/device.js", "device.js", "text/javascript; charset=utf-8"},
};

}  // namespace

std::optional<WebRoot> WebRoot::Load(const std::string& dir, const std::string& chartLibrary, bool required,
                                     std::string& error) {
  WebRoot root;
  root.dir_ = dir;
  for (const Known& k : kPageFiles) {
    const std::string path = dir + "/" + k.file;
    std::string why;
    std::optional<std::string> text = ReadFileText(path, why);
    if (!text) {
      if (required) {
        error = path + ": " + why;
        return std::nullopt;
      }
      root.files_.clear();
      return root;
    }
    root.files_.push_back({k.path, k.contentType, std::move(*text)});
  }
  root.complete_ = true;
  std::string ignored;  // without the chart library the pages show no charts
  if (std::optional<std::string> chart = ReadFileText(chartLibrary, ignored))
    root.files_.push_back({"/chart.js", "text/javascript; charset=utf-8", std::move(*chart)});
  return root;
}

const WebFile* WebRoot::Find(std::string_view path) const {
  // Every device page is the same file; it reads the name from its address.
  if (path.substr(0, 8) == "/device/" && path.size() > 8) path = "/device/*";
  for (const WebFile& f : files_)
    if (f.path == path) return &f;
  return nullptr;
}

}  // namespace kestrel::collector
