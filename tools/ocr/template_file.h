// Writes a trained model as the engine's MQDF template: a stream of records naming the engine
// kind, the normaliser, the feature extractor, the coarse distance and the transform, then one
// model per class.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "ocr/training.h"

namespace orvane::ocrtools {

inline constexpr const char* kTemplateKind = "NEW:RLDA_PLUS_MQDF";
inline constexpr const char* kTemplateNormalizer = "LN";
inline constexpr const char* kTemplateExtractor = "GRA";
inline constexpr const char* kTemplateDistance = "L2";

struct TemplateContent {
  std::vector<std::string> labels;  // 2-byte GBK code per class, parallel to model.classes
  cv::Mat transform;                // k x D double
  MqdfModel model;
  Calibration calibration;
};

// The engine reads value = (sum r^2 + sum w_j (e_j . r)^2) / divisor + constant; with
// w_j = delta / lambda_j - 1, divisor = delta / scale and constant = scale x logdet + offset this
// is scale x the MQDF2 discriminant + offset.
struct ClassRecordFields {
  std::vector<double> weights;
  double divisor = 0;
  double constant = 0;
};
ClassRecordFields RecordFields(const MqdfModel& model, int c, const Calibration& calibration);

// Writes the whole file or nothing; false when it cannot be written.
bool WriteTemplate(const std::filesystem::path& path, const TemplateContent& content);

}  // namespace orvane::ocrtools
