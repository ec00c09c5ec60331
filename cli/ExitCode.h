#pragma once

namespace kestrel::cli {

// Process exit statuses; scripts branch on them.
enum ExitCode : int {
  kExitOk = 0,
  kExitFailure = 1,  // the device or the network failed (message on stderr)
  kExitUsage = 2,    // the command line is wrong (message and a hint on stderr)
  kExitRefused = 3,  // the connect steps refused the device (model or mode)
};

}  // namespace kestrel::cli
