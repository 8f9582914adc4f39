// GoogleTest inside a QApplication on the offscreen platform: the window is
// real, nothing is drawn on a screen.
#include <gtest/gtest.h>

#include <QApplication>

// Qt's platform libraries keep a few allocations for the life of the
// process; they are not the tool's.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1\nleak:libfontconfig\nleak:libQt6Gui\nleak:libQt6Core\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
