#include "cli/Help.h"

namespace kestrel::cli {

const char* LoopbackNote() {
  return "kestrelctl never uses a loopback interface, so it cannot reach a kestrel-sim\n"
         "on 127.0.0.1; see 'kestrel-sim --help' for a private network to try both in.\n";
}

}  // namespace kestrel::cli
