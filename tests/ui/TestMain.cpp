// GoogleTest entry for window tests: the platform's application object must
// exist before any window and outlive every test.
#include <gtest/gtest.h>

#include "framework/PlatformApp.h"

int main(int argc, char** argv) {
  fw::PlatformApp app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
