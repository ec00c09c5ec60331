#pragma once
// Window-system icons made from the framework's icon resources (the bytes
// of an icon file), one per resource and size, owned by an IconCache.
#include <map>
#include <utility>

#include "framework/Icon.h"

struct HICON__;

namespace fw::win {

class IconCache {
 public:
  IconCache() = default;
  ~IconCache();
  IconCache(const IconCache&) = delete;
  IconCache& operator=(const IconCache&) = delete;

  // The image of `resource` closest to `size` pixels square; null when the
  // bytes hold no usable image.
  HICON__* Get(const IconResource& resource, int size);

 private:
  std::map<std::pair<const IconResource*, int>, HICON__*> icons_;
};

}  // namespace fw::win
