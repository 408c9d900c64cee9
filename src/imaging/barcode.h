// Barcode and QR-code scanning through zbar.
#pragma once

#include <string>
#include <vector>

#include <opencv2/core.hpp>

namespace orvane::imaging {

// Scans a grey or BGR picture (BGR turned grey with the RGB-to-grey weights) and fills `result`
// with pairs: zbar's symbol type name ("QR-Code", "EAN-13", "CODE-128", ...) then the symbol's
// data (UTF-8, read by its length, so it may hold NUL bytes), in zbar's order. zbar gets the
// picture itself: it finds the bars' edges on its own, following the local background of an
// unevenly lit page, and keeps the thinnest bars a camera sees, which a black-and-white copy
// loses (an EAN-13 printed at 80 %, a CODE-128 of 12 characters in 40 mm). On full-size frames
// it follows every second or third row and column, which still crosses every such code many
// times. False (and an empty list) for an empty picture or one not of 8-bit samples; true
// otherwise, found or not.
bool ScanBarcodes(std::vector<std::string>& result, const cv::Mat& picture);

}  // namespace orvane::imaging
