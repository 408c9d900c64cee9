// Text drawing needs a QGuiApplication; the tests run with the offscreen platform.
#pragma once

#include <QCoreApplication>
#include <QGuiApplication>

namespace orvane::imaging::testing {

inline void EnsureGuiApplication() {
  if (QCoreApplication::instance() != nullptr) return;
  static int argc = 1;
  static char name[] = "imaging_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication application(argc, argv);
}

}  // namespace orvane::imaging::testing
