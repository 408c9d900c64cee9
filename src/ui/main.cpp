// The capture station: the application runs the main window for the life of the program.
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
  orvane::ui::COrvaneApp application(argc, argv);
  return application.InitInstance();
}
