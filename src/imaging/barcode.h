// Barcode and QR-code scanning through zbar, on a black-and-white copy of the page.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// The local-background threshold of the black-and-white copy: the background is a median over
// a tenth-size copy with aperture 2 * ((4 * medianBase + 1) / 20) + 1; a pixel is paper when it
// is brighter than background - offset.
struct BarcodeScanParams {
  int medianBase = 131;
  int offset = 30;
};

// Scans a grey or BGR picture and fills `result` with pairs: zbar's symbol type name
// ("QR-Code", "EAN-13", "CODE-128", ...) then the symbol's data (UTF-8, read by its length, so
// it may hold NUL bytes), in zbar's order. With `alreadyBinary` the picture goes to zbar as it
// is. On full-size camera pages zbar follows every second or third row and column (codes there
// are tens of pixels high). False (and an empty list) for an empty picture; true otherwise,
// found or not.
bool ScanBarcodes(std::vector<std::string>& result, const cv::Mat& picture,
                  const BarcodeScanParams& params, bool alreadyBinary);

// The black-and-white copy ScanBarcodes hands to zbar when the picture is not binary yet.
cv::Mat BinarizeForBarcodes(const cv::Mat& picture, const BarcodeScanParams& params);

}  // namespace orvane::imaging
