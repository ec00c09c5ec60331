// The program's version where executables carry no version resource: the
// numbers the build was configured with.
#include "res/KestrelVersion.h"
#include "res/VersionText.h"

namespace kestrel::res {

FileVersion OwnFileVersion() {
  return {kVersionMajor, kVersionMinor, kVersionBuild, kVersionRevision};
}

}  // namespace kestrel::res
