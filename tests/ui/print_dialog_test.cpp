#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QTimer>

#include <fstream>

#include <gtest/gtest.h>

#include "station_fixture.h"
#include "temp_folder.h"
#include "ui/print_dialog_chooser.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;

// The print dialog offers the file it is given for printing to a file, and printing there writes
// that file.
TEST(PrintDialogChooserTest, TheDialogOffersTheFileItIsGiven) {
  EnsureApplication();
  const ::orvane::testing::TempFolder folder;
  const fs::path offered = folder / "Tmp20250102030405.pdf";
  std::string shown;
  QTimer::singleShot(0, [&] {
    ASSERT_TRUE(WaitFor([] { return qobject_cast<QPrintDialog*>(QApplication::activeModalWidget()) != nullptr; }));
    auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
    auto* file = dialog->findChild<QLineEdit*>(QStringLiteral("filename"));
    auto* printers = dialog->findChild<QComboBox*>(QStringLiteral("printers"));
    ASSERT_NE(file, nullptr);
    ASSERT_NE(printers, nullptr);
    shown = file->text().toStdString();
    printers->setCurrentIndex(printers->count() - 1);  // print to a file
    dialog->accept();
  });
  const std::unique_ptr<QPrinter> printer = PrintDialogChooser(nullptr, offered).ChoosePrinter((folder / "x.bmp").string());
  ASSERT_NE(printer, nullptr);
  EXPECT_EQ(shown, offered.string());
  EXPECT_EQ(printer->outputFormat(), QPrinter::PdfFormat);
  EXPECT_EQ(printer->outputFileName().toStdString(), offered.string());
}

TEST(FreePrintFileTest, ATakenNameMovesOnAndNothingStaysNothing) {
  const ::orvane::testing::TempFolder folder;
  EXPECT_EQ(FreePrintFile({}), fs::path());
  EXPECT_EQ(FreePrintFile(folder / "copy.pdf"), folder / "copy.pdf");
  std::ofstream(folder / "copy.pdf") << "x";
  fs::create_symlink(folder / "nowhere", folder / "copy-2.pdf");
  EXPECT_EQ(FreePrintFile(folder / "copy.pdf"), folder / "copy-3.pdf");
}

}  // namespace
}  // namespace orvane::ui::testing
