// Test entry point for widget tests: a QApplication on the offscreen platform,
// so the tests run headless (also when gtest_discover_tests lists them at build time).
#include <QApplication>

#include <gtest/gtest.h>

#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
  velloria_tests::PrepareTestEnvironment();
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
