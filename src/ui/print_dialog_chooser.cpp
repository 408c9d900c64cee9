#include "ui/print_dialog_chooser.h"

#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

#include "ui/presenter.h"

namespace orvane::ui {

std::unique_ptr<QPrinter> PrintDialogChooser::ChoosePrinter(const std::string& documentName) {
  auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  printer->setDocName(QString::fromStdString(documentName));
  printer->setCopyCount(1);
  printer->setFromTo(1, 1);
  QPrintDialog dialog(printer.get(), owner_);
  dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
  dialog.setMinMax(1, 65535);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return printer;
}

void PrintDialogChooser::ShowPrintFailure(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QString(), QString::fromStdString(text), QMessageBox::Ok);
  box.exec();
}

std::unique_ptr<QPrinter> PresenterPrinterChooser::ChoosePrinter(const std::string& documentName) {
  return presenter_.ChoosePrinter(owner_, documentName);
}

void PresenterPrinterChooser::ShowPrintFailure(const std::string& text) {
  presenter_.ShowMessage(nullptr, text, "", MessageIcon::kError);
}

}  // namespace orvane::ui
