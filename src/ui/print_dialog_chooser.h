// The print job's printer choice: through the common print dialog, and through the presenter,
// which the windows use so that every question of theirs can be scripted.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "imaging/printing/print_module.h"

class QWidget;

namespace orvane::ui {

class IPresenter;

class PrintDialogChooser : public imaging::PrinterChooser {
 public:
  // `owner` owns the dialog (the main window); may be null. `printToFile`, when given, is the
  // file the dialog offers for printing to a file; otherwise Qt makes one up.
  explicit PrintDialogChooser(QWidget* owner, std::filesystem::path printToFile = {})
      : owner_(owner), printToFile_(std::move(printToFile)) {}

  // A high-resolution printer for the system's printers (CUPS), one copy from page 1 to 1 with
  // the selection option hidden; nothing when the dialog is cancelled.
  std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) override;
  // A message box without owner, the station's caption and the stop icon.
  void ShowPrintFailure(const std::string& text) override;

 private:
  QWidget* owner_;
  std::filesystem::path printToFile_;
};

// The first of `wanted`, "-2", "-3", ... that names no file yet; empty for an empty `wanted`.
std::filesystem::path FreePrintFile(const std::filesystem::path& wanted);

// The printer asked of the presenter (owned by `owner`), the failure told through it. Printing to
// a file offers `printToFile`, or the next free name after it when a job before took it.
class PresenterPrinterChooser : public imaging::PrinterChooser {
 public:
  PresenterPrinterChooser(IPresenter& presenter, QWidget* owner, std::filesystem::path printToFile = {})
      : presenter_(presenter), owner_(owner), printToFile_(std::move(printToFile)) {}

  std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) override;
  void ShowPrintFailure(const std::string& text) override;

 private:
  IPresenter& presenter_;
  QWidget* owner_;
  std::filesystem::path printToFile_;
};

}  // namespace orvane::ui
