// Test entry point for the application shell: the program's own application object
// (TApplication) on the offscreen platform.
#include <gtest/gtest.h>

#include "app/application.h"
#include "platform/namespace.h"
#include "platform/translations.h"
#include "tests/support/test_environment.h"

int main(int argc, char** argv) {
  velloria_tests::PrepareTestEnvironment();
  velloria::TApplication app(argc, argv);
  velloria::InstallTranslations();  // as the program does (the language tests run in C and Italian)
  // A default action (Enter, double-click) starts no desktop program or word processor.
  velloria::shell::SetDefaultActionLauncherForTesting([](const std::string&) { return true; });
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
