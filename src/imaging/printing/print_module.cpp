#include "imaging/printing/print_module.h"

#include <algorithm>
#include <cstdint>

#include <QPainter>
#include <QPrinter>

#include <opencv2/imgproc.hpp>

#include "imaging/capture_pipeline.h"
#include "imaging/conversions.h"
#include "imaging/image_file.h"
#include "imaging/pdf_document.h"

namespace orvane::imaging {
namespace fs = std::filesystem;
namespace {

// In the 32-bit layout printers and PDF files take as they are (blue, green, red, padding in
// memory), so no printer converts the whole page once more.
QImage ToQImage(const cv::Mat& bgr) {
  if (bgr.empty() || bgr.type() != CV_8UC3) return {};
  cv::Mat padded;
  cv::cvtColor(bgr, padded, cv::COLOR_BGR2BGRA);
  QImage image(padded.data, padded.cols, padded.rows, static_cast<qsizetype>(padded.step[0]),
               QImage::Format_RGB32);
  return image.copy();  // detach from the matrix
}

}  // namespace

QRect PlacePicture(QSize picture, QSize printable, bool fit, QSize printerDpi, QSize pictureDpi) {
  if (picture.isEmpty() || printable.isEmpty()) return {};
  const int pw = printable.width(), ph = printable.height();
  const int w = picture.width(), h = picture.height();
  if (pictureDpi.width() < 1 || pictureDpi.height() < 1 || printerDpi.width() < 1 ||
      printerDpi.height() < 1) {
    fit = true;
  }
  std::int64_t width = 0, height = 0;
  if (fit) {
    const float scale = std::min(static_cast<float>(pw) / static_cast<float>(w),
                                 static_cast<float>(ph) / static_cast<float>(h));
    width = static_cast<std::int64_t>(scale * static_cast<float>(w));
    height = static_cast<std::int64_t>(scale * static_cast<float>(h));
  } else {
    width = std::int64_t{w} * printerDpi.width() / pictureDpi.width();
    height = std::int64_t{h} * printerDpi.height() / pictureDpi.height();
  }
  width = std::clamp<std::int64_t>(width, 1, 1 << 30);
  height = std::clamp<std::int64_t>(height, 1, 1 << 30);
  return QRect(static_cast<int>((pw - width) / 2), static_cast<int>((ph - height) / 2),
               static_cast<int>(width), static_cast<int>(height));
}

CPrintModule::CPrintModule(int language, PrinterChooser& chooser) : chooser_(chooser) {
  log_.SetPath("log.log");
  log_.SetTimeStamp(true);
  switch (language) {
    case 0: failureText_ = "打印失败"; break;
    case 1: failureText_ = "列印失敗"; break;
    case 2: failureText_ = "Print failure"; break;
    default: break;
  }
}

bool CPrintModule::PrintImage(const fs::path& path) {
  std::unique_ptr<QPrinter> printer = chooser_.ChoosePrinter(path.string());
  if (!printer) {
    chooser_.ShowPrintFailure(failureText_);
    return false;
  }
  printer->setDocName(QString::fromStdString(path.string()));

  const QImage picture = ToQImage(LoadImageFile(path));
  log_.Write("Print模块pPpPicture:H=%d,W=%d", picture.height(), picture.width());
  if (picture.isNull()) {
    chooser_.ShowPrintFailure(failureText_);
    return false;
  }
  log_.Write("Print模块hBitmap:%X", static_cast<unsigned>(picture.cacheKey()));
  log_.Write("Print模块bitmap:H=%d,W=%d", picture.height(), picture.width());

  const QRect printable = printer->pageLayout().paintRectPixels(printer->resolution());
  const QRect area(0, 0, printable.width(), printable.height());
  const double scale = static_cast<double>(area.width()) / picture.width();
  log_.Write("Print模块pPpPicture:dScale=%f,nScaledHeight=%d", scale,
             static_cast<int>(picture.height() * scale));

  // Printers that make copies themselves get one; others (PDF files) get one page per copy.
  const int copies = printer->supportsMultipleCopies() ? 1 : std::max(1, printer->copyCount());
  QPainter painter;
  const bool started = painter.begin(printer.get());
  log_.Write("开始打印任务状态：%d", started ? 1 : 0);
  if (!started) {
    log_.Write("打印任务中断");
    chooser_.ShowPrintFailure(failureText_);
    return false;
  }
  const QSize printerDpi(printer->logicalDpiX(), printer->logicalDpiY());
  for (int copy = 0; copy < copies; ++copy) {
    if (copy > 0) printer->newPage();
    DrawPage(painter, area, printerDpi, picture);
  }
  if (!painter.end()) {
    log_.Write("打印任务中断");
    chooser_.ShowPrintFailure(failureText_);
    return false;
  }
  log_.Write("打印任务结束");
  return true;
}

void CPrintModule::DrawPage(QPainter& painter, const QRect& area, QSize printerDpi,
                            const QImage& picture) {
  const bool fit = settings.printMode != 0 || settings.viewMode != 0;
  const QRect target = PlacePicture(picture.size(), area.size(), fit, printerDpi,
                                    QSize(settings.xDpi, settings.yDpi));
  if (target.isEmpty()) return;
  painter.drawImage(target.translated(area.topLeft()), picture);
}

bool CPrintModule::ConvertImageToPdf(const fs::path& path, fs::path* pdf,
                                     const platform::FilePlacement& placement) {
  return WritePicturesToPdf(PdfPathFor(path), {path}, placement, pdf,
                            Resolution{static_cast<double>(settings.xDpi), static_cast<double>(settings.yDpi)});
}

}  // namespace orvane::imaging
