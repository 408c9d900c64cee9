#include "imaging/barcode.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include <zbar.h>

#include "imaging/conversions.h"

namespace orvane::imaging {
namespace {

// zbar's C interface sits in namespace zbar when included from C++.
using namespace zbar;

struct ScannerDeleter {
  void operator()(zbar_image_scanner_t* scanner) const { zbar_image_scanner_destroy(scanner); }
};
struct ImageDeleter {
  void operator()(zbar_image_t* image) const { zbar_image_destroy(image); }
};

// zbar follows every row and column; on a full camera page (13 megapixels) every third one
// still crosses each code many times (the smallest printed codes are over a hundred pixels high
// there), at a third of the cost. Pictures up to a few megapixels keep every line.
int ScanLineSpacing(int columns, int rows) {
  const double megapixels = static_cast<double>(columns) * rows / 1.5e6;
  return std::clamp(static_cast<int>(std::lround(std::sqrt(megapixels))), 1, 3);
}

void Scan(std::vector<std::string>& result, const cv::Mat& picture) {
  cv::Mat grey = picture.channels() == 1 ? picture : ToGrey(picture, GreyConversion::kRgbToGreyOnBgr);
  if (!grey.isContinuous()) grey = grey.clone();

  std::unique_ptr<zbar_image_scanner_t, ScannerDeleter> scanner(zbar_image_scanner_create());
  const int density = ScanLineSpacing(grey.cols, grey.rows);
  zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_X_DENSITY, density);
  zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_Y_DENSITY, density);
  std::unique_ptr<zbar_image_t, ImageDeleter> image(zbar_image_create());
  zbar_image_set_format(image.get(), zbar_fourcc('Y', '8', '0', '0'));
  zbar_image_set_size(image.get(), static_cast<unsigned>(grey.cols), static_cast<unsigned>(grey.rows));
  // zbar only reads the pixels; the matrix outlives the image.
  zbar_image_set_data(image.get(), grey.data, grey.total(), nullptr);
  if (zbar_scan_image(scanner.get(), image.get()) <= 0) return;

  for (const zbar_symbol_t* symbol = zbar_image_first_symbol(image.get()); symbol != nullptr;
       symbol = zbar_symbol_next(symbol)) {
    const zbar_symbol_type_t type = zbar_symbol_get_type(symbol);
    if (type == ZBAR_PARTIAL) continue;
    result.emplace_back(zbar_get_symbol_name(type));
    result.emplace_back(zbar_symbol_get_data(symbol), zbar_symbol_get_data_length(symbol));
  }
}

}  // namespace

bool ScanBarcodes(std::vector<std::string>& result, const cv::Mat& picture) {
  result.clear();
  if (picture.empty() || picture.depth() != CV_8U) return false;
  Scan(result, picture);
  return true;
}

}  // namespace orvane::imaging
