#include "cli/Help.h"

namespace kestrel::cli {

// The zip holds no simulator: the note names only what a device needs.
const char* LoopbackNote() {
  return "kestrelctl never uses a loopback interface: a device is never on one. Connect\n"
         "this PC to the device's network; 'kestrelctl interfaces' lists what it can use.\n";
}

}  // namespace kestrel::cli
