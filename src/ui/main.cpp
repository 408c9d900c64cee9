// The capture station: the application runs the main window for the life of the program.
#include <malloc.h>

#include <QApplication>

#include "platform/qt_message_bridge.h"
#include "ui/main_window.h"
#include "ui/presenter.h"
#include "ui/termination.h"

namespace orvane::ui {

// `COrvaneApp`: the Qt application, the message layer's bridge into its loop, and the main window.
class COrvaneApp {
 public:
  COrvaneApp(int& argc, char** argv) : application_(argc, argv) {}

  int InitInstance() {
    // The bridge lives inside the application object's life and goes before it.
    platform::QtMessageBridge bridge;
    QtPresenter presenter;
    COrvaneDlg window(StationEnvironment::Program(presenter));
    if (window.OnInitDialog() == StartUp::kEnd) return 0;
    TerminationSignals termination([&window] { window.CloseOnSignal(); });
    window.show();
    return QApplication::exec();
  }

 private:
  QApplication application_;
};

}  // namespace orvane::ui

int main(int argc, char* argv[]) {
  // Blocks of 4 MB or more (frames and pictures) are mapped on their own and unmapped when freed.
  // Left to itself, glibc raises this threshold after the first large free, and the camera's frames
  // and pictures then come from the threads' heaps, which keep tens of megabytes they never give
  // back. Working buffers below it (a band of a page being recognised) stay in the heap for reuse.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  orvane::ui::COrvaneApp application(argc, argv);
  return application.InitInstance();
}
