#include "ui/termination.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include <QSocketNotifier>

namespace orvane::ui {
namespace {

std::atomic<int> signalPipe{-1};

void OnSignal(int number) {
  // Only what is safe in a signal handler: one write.
  const int descriptor = signalPipe.load();
  const unsigned char byte = static_cast<unsigned char>(number);
  if (descriptor >= 0) [[maybe_unused]] const auto written = write(descriptor, &byte, 1);
}

void Handle(int number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(number, &action, nullptr);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
    unsigned char byte = 0;
    while (read(pipe_[0], &byte, 1) == 1) {
    }
    if (onSignal_) onSignal_();
  });
  signalPipe.store(pipe_[1]);
  Handle(SIGTERM, OnSignal);
  Handle(SIGINT, OnSignal);
}

TerminationSignals::~TerminationSignals() {
  Handle(SIGTERM, SIG_DFL);
  Handle(SIGINT, SIG_DFL);
  signalPipe.store(-1);
  notifier_.reset();
  if (pipe_[0] >= 0) close(pipe_[0]);
  if (pipe_[1] >= 0) close(pipe_[1]);
}

}  // namespace orvane::ui
