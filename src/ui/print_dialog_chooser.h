// The print job's printer choice: through the common print dialog, and through the presenter,
// which the windows use so that every question of theirs can be scripted.
#pragma once

#include <memory>
#include <string>

#include "imaging/printing/print_module.h"

class QWidget;

namespace orvane::ui {

class IPresenter;

class PrintDialogChooser : public imaging::PrinterChooser {
 public:
  // `owner` owns the dialog (the main window); may be null.
  explicit PrintDialogChooser(QWidget* owner) : owner_(owner) {}

  // A high-resolution printer for the system's printers (CUPS), one copy from page 1 to 1 with
  // the selection option hidden; nothing when the dialog is cancelled.
  std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) override;
  // A message box without owner, empty caption and the stop icon.
  void ShowPrintFailure(const std::string& text) override;

 private:
  QWidget* owner_;
};

// The printer asked of the presenter (owned by `owner`), the failure told through it.
class PresenterPrinterChooser : public imaging::PrinterChooser {
 public:
  PresenterPrinterChooser(IPresenter& presenter, QWidget* owner) : presenter_(presenter), owner_(owner) {}

  std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) override;
  void ShowPrintFailure(const std::string& text) override;

 private:
  IPresenter& presenter_;
  QWidget* owner_;
};

}  // namespace orvane::ui
