// Assembles template files record by record for the engine's tests.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "ocr/file_operator.h"
#include "platform/file_io.h"
#include "ocr_test_images.h"

namespace orvane::ocr::testing {

class TemplateBytes {
 public:
  TemplateBytes& String(const std::string& text) { return Record(*MakeOcrString(text)); }
  TemplateBytes& Record(const OcrMatrix& m) {
    AppendOcrRecord(bytes_, m);
    return *this;
  }
  TemplateBytes& Doubles(int rows, int cols, std::vector<double> values) {
    OcrMatrixPtr m = CreateOcrMatrix(kOcrDouble, rows, cols);
    std::copy(values.begin(), values.end(), m->As<double>());
    return Record(*m);
  }
  TemplateBytes& Zeros(int rows, int cols) { return Record(*CreateOcrMatrix(kOcrDouble, rows, cols)); }
  TemplateBytes& Raw(const std::string& bytes) {
    bytes_ += bytes;
    return *this;
  }
  TemplateBytes& Truncate(std::size_t dropped) {
    bytes_.resize(bytes_.size() - dropped);
    return *this;
  }
  const std::string& Bytes() const { return bytes_; }
  void WriteTo(const std::filesystem::path& path) const { platform::WriteFileAtomically(path, bytes_); }

 private:
  std::string bytes_;
};

}  // namespace orvane::ocr::testing
