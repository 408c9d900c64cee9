#include "ocr/template_file.h"

#include <cstring>

#include "ocr/file_operator.h"
#include "ocr/ocr_matrix.h"

namespace orvane::ocrtools {
namespace {

ocr::OcrMatrixPtr DoubleRecord(const cv::Mat& values) {
  cv::Mat doubles;
  values.convertTo(doubles, CV_64F);
  doubles = doubles.isContinuous() ? doubles : doubles.clone();
  auto record = ocr::CreateOcrMatrix(ocr::kOcrDouble, doubles.rows, doubles.cols);
  if (record) std::memcpy(record->data.data(), doubles.ptr<double>(), record->data.size());
  return record;
}

}  // namespace

ClassRecordFields RecordFields(const MqdfModel& model, int c, const Calibration& calibration) {
  const ClassModel& cls = model.classes[c];
  ClassRecordFields fields;
  for (double lambda : cls.eigenvalues) fields.weights.push_back(model.minorEigenvalue / lambda - 1.0);
  fields.divisor = model.minorEigenvalue / calibration.scale;
  fields.constant = calibration.scale * cls.logDeterminant + calibration.offset;
  return fields;
}

bool WriteTemplate(const std::filesystem::path& path, const TemplateContent& content) {
  if (content.labels.size() != content.model.classes.size()) return false;
  ocr::CCmmFileOperatorImp file;
  if (file.Open(path, true) != 0) return false;
  bool ok = true;
  auto text = [&](std::string_view s) { ok = ok && file.WriteString(s) == 0; };
  auto matrix = [&](const cv::Mat& m) {
    const auto record = DoubleRecord(m);
    ok = ok && record && file.WriteMatrix(*record) == 0;
  };
  text(kTemplateKind);
  text("-N");
  text(kTemplateNormalizer);
  text("-F");
  text(kTemplateExtractor);
  text("-S");
  text(kTemplateDistance);
  text("-TRS");
  matrix(content.transform);
  for (std::size_t c = 0; c < content.labels.size() && ok; ++c) {
    const ClassModel& cls = content.model.classes[c];
    const ClassRecordFields fields = RecordFields(content.model, static_cast<int>(c), content.calibration);
    text("+" + content.labels[c]);
    matrix(cls.mean);
    matrix(cls.axes);
    matrix(cv::Mat(fields.weights, true));
    matrix(cv::Mat(1, 1, CV_64F, cv::Scalar(fields.divisor)));
    matrix(cv::Mat(1, 1, CV_64F, cv::Scalar(fields.constant)));
  }
  // Close commits the file; without a full write nothing replaces the target.
  if (!ok) return false;
  return file.Close() == 0;
}

}  // namespace orvane::ocrtools
