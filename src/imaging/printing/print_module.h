// The print job: prints one picture file centred on the page, at its own size or fitted to the
// page, and writes one-page PDF files. The printer is asked for through an injected chooser, so
// the job runs without a dialog where there is no one to answer it.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include <QImage>
#include <QRect>
#include <QSize>

#include "app/log_file.h"
#include "app/sys_param.h"
#include "imaging/capture_pipeline.h"
#include "platform/file_io.h"

class QPainter;
class QPrinter;

namespace orvane::imaging {

class PrinterChooser {
 public:
  virtual ~PrinterChooser() = default;
  // A printer set up by the user for the job named `documentName`; nothing when the user
  // cancelled or no printer is available.
  virtual std::unique_ptr<QPrinter> ChoosePrinter(const std::string& documentName) = 0;
  // Tells the user that printing failed (stop icon, empty caption).
  virtual void ShowPrintFailure(const std::string& text) = 0;
};

// Where a picture of `picture` pixels lands in a printable area of `printable` device pixels,
// centred (a picture larger than the page is cut evenly on both sides). Fitted: scaled by the
// smaller of the two ratios. Otherwise one to one: each pixel as large as `pictureDpi` makes it at
// the printer's `printerDpi`; a resolution below 1 cannot say that, so the picture is fitted.
// Empty for an empty picture or printable area.
QRect PlacePicture(QSize picture, QSize printable, bool fit, QSize printerDpi, QSize pictureDpi);

class CPrintModule {
 public:
  CPrintModule(int language, PrinterChooser& chooser);
  CPrintModule(const CPrintModule&) = delete;
  CPrintModule& operator=(const CPrintModule&) = delete;

  // Assigned by the caller before printing: print mode, current view mode and the DPI pair.
  CSysParam settings;

  // Asks for a printer and prints the picture, one page per copy. False when no printer was
  // chosen, the picture cannot be loaded or the document cannot be started; the user is told.
  bool PrintImage(const std::filesystem::path& path);
  // Draws the picture into `area` (device pixels) by the settings' print mode.
  void DrawPage(QPainter& painter, const QRect& area, QSize printerDpi, const QImage& picture);
  // Writes the picture as a one-page PDF beside it (its extension replaced by ".pdf"), by
  // default a new file: when that name is taken it moves on to "-2", "-3", ... `pdf`, when
  // given, receives the name it got. A picture that states no resolution is sized by the
  // settings' DPI pair.
  bool ConvertImageToPdf(const std::filesystem::path& path, std::filesystem::path* pdf = nullptr,
                         const platform::FilePlacement& placement = NewCaptureFile());

  const std::string& failureText() const { return failureText_; }

 private:
  PrinterChooser& chooser_;
  CLogFile log_;
  std::string failureText_;
};

}  // namespace orvane::imaging
