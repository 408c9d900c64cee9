// A white sheet carrying one QR code of any bytes, drawn with libqrencode.
#pragma once

#include <qrencode.h>

#include <string>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::testing {

// The code in byte mode at `module` pixels a module, with its quiet zone, on a sheet just large
// enough for it; empty when libqrencode cannot hold the data.
inline cv::Mat QrSheet(const std::string& data, int module = 4) {
  QRcode* code = QRcode_encodeData(static_cast<int>(data.size()),
                                   reinterpret_cast<const unsigned char*>(data.data()), 0, QR_ECLEVEL_L);
  if (code == nullptr) return {};
  const int side = (code->width + 8) * module;
  cv::Mat sheet(side + 40, side, CV_8UC3, cv::Scalar::all(255));
  for (int y = 0; y < code->width; ++y) {
    for (int x = 0; x < code->width; ++x) {
      if ((code->data[y * code->width + x] & 1) == 0) continue;
      cv::rectangle(sheet, cv::Rect((x + 4) * module, (y + 4) * module, module, module),
                    cv::Scalar::all(0), cv::FILLED);
    }
  }
  QRcode_free(code);
  return sheet;
}

}  // namespace orvane::testing
