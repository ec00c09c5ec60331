// GoogleTest entry for window tests: the platform session must exist before
// any window and outlive every test.
#include <gtest/gtest.h>

#include "framework/Session.h"

int main(int argc, char** argv) {
  fw::FrameworkSession session(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
