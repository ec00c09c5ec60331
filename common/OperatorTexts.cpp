#include "common/OperatorTexts.h"

#include <cstdio>

namespace kestrel {

std::string NetworkErrorText(char step, int errorNumber) {
  char text[64];
  std::snprintf(text, sizeof text, "%s%c %d\r\n", kNetworkErrorPrefix, step, errorNumber);
  return text;
}

}  // namespace kestrel
