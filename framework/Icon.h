#pragma once
// An icon resource: the bytes of an icon file holding one or more images
// (here 16x16 and 32x32). The "icon handle" of a window is a pointer to one.
#include <cstddef>

namespace fw {

struct IconResource {
  const unsigned char* data = nullptr;
  std::size_t size = 0;
};

using HICON = const IconResource*;

}  // namespace fw
