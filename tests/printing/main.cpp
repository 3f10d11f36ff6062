// The printing tests run inside a QApplication (offscreen), as the program's
// printing does: pictures, fonts, processes, the waiting cursor and the
// preview window.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
