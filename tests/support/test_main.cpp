// The test programs' main on Windows: GoogleTest's, after the entry of a
// child process (a test program that reads files in child processes starts
// itself anew for each).
#include <gtest/gtest.h>

#include "app/inputs/child_process.h"

int main(int argc, char** argv) {
  kova::inputs::ServeChildIfAsked();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
