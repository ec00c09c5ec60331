#pragma once
// The collector's live status page: the fleet at "/", one device at
// "/device/NAME", their files, and the JSON they update from
// (/api/devices, /api/device?name=). Answered inside the HTTP endpoint,
// after its password check, so the page is behind the same password and
// TLS as /metrics.
#include <memory>
#include <optional>
#include <string>

#include "collector/DevicePoller.h"
#include "collector/http/WebHandler.h"
#include "collector/status/DeviceActivity.h"
#include "collector/status/WebRoot.h"

namespace kestrel::collector {

// Every answer of the page carries these: scripts, styles, images and
// requests from the collector itself only, no inline script or style, no
// framing by other sites.
inline constexpr char kStatusPagePolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

class StatusPages {
 public:
  // `webRoot`: the page's files (--web-root; the installed ones when not
  // given, and then a missing file only turns the page off). `storePath`:
  // the store, whose counts of today the page starts from. nullptr and why
  // when the files or the store cannot be read.
  static std::unique_ptr<StatusPages> Start(const std::optional<std::string>& webRoot,
                                            const std::optional<std::string>& storePath,
                                            const PollerRegistry& pollers, std::string& error);

  // The records feed the page.
  RecordSink& sink() { return activity_; }

  // The answer for a path of the page; nullopt for any other path.
  std::optional<WebReply> Answer(const WebRequest& request) const;

 private:
  StatusPages(WebRoot files, bool store, const PollerRegistry& pollers);
  WebReply Devices() const;
  WebReply Device(const std::string& query) const;

  WebRoot files_;
  const bool store_;
  const PollerRegistry& pollers_;
  const WallClock::time_point started_;
  DeviceActivity activity_;
};

}  // namespace kestrel::collector
