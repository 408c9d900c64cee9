#include "ocr/ocr_multi_tpl.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "ocr/candidate_set.h"
#include "ocr/file_operator.h"

namespace orvane::ocr {

COCRMultiTpl::~COCRMultiTpl() { Release(); }

void COCRMultiTpl::Release() {
  templates_.clear();
  templates_.shrink_to_fit();
}

bool COCRMultiTpl::Load(const std::filesystem::path& templatePath) {
  Release();  // a second load replaces the first instead of mixing two templates
  std::unique_ptr<CFileOperator> file = CreateFileOperator("Cmm");
  if (!file || file->Open(templatePath, false) != 0) return false;
  bool ok = true;
  try {
    Read(*file);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  file->Close();
  return ok;
}

void COCRMultiTpl::Read(CFileOperator& file) {
  auto readName = [&file](std::string& name) {
    OcrMatrixPtr record = file.ReadMatrix();
    if (!IsOcrString(record.get())) return false;
    name = OcrStringText(*record);
    return true;
  };
  for (;;) {
    OcrMatrixPtr record = file.ReadMatrix();
    if (!IsOcrString(record.get())) return;
    const std::string text = OcrStringText(*record);
    if (text.size() == 3 && EqualsIgnoringCase(text, "NEW")) {
      Template& t = templates_.emplace_back();
      std::string normalizer, extractor, distance;
      if (!readName(normalizer) || !readName(extractor) || !readName(distance)) return;
      t.normalizer = CreateImageNormalizer(normalizer);
      t.extractor = CreateFeatureExtractor(extractor);
      t.measurer = CreateDistanceMeasurer(distance);
      t.cosine = EqualsIgnoringCase(distance, "Cos");
    } else if (text.size() == 3 && EqualsIgnoringCase(text, "TRS")) {
      if (templates_.empty()) return;  // no template to hold it
      OcrMatrixPtr transform = file.ReadMatrix();
      if (!transform) return;
      templates_.back().transform = std::move(transform);
    } else if (text.size() == static_cast<std::size_t>(kLabelBytes)) {
      if (templates_.empty()) return;
      OcrMatrixPtr prototype = file.ReadMatrix();
      if (!prototype) return;
      // Stored as a row or a column: compared as a column, like the prepared features.
      if (prototype->HasElements() && prototype->Count() > 0) {
        ReshapeOcrMatrix(prototype.get(), static_cast<int>(prototype->Count()));
      }
      templates_.back().prototypes.push_back(std::move(prototype));
      templates_.back().labels.push_back(text);
    }
  }
}

bool COCRMultiTpl::RecognizeWith(const Template& t, const std::uint8_t* image, int width, int height, int n,
                                 std::vector<Scored>& out) const {
  if (n < 1) n = 1;
  if (!t.normalizer || !t.extractor || !t.measurer) return false;
  OcrMatrixPtr y = PrepareFeatureVector(image, width, height, *t.normalizer, *t.extractor, t.transform.get(), t.cosine);
  if (!y) return false;
  CandidateSet best(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < t.prototypes.size(); ++i) {
    double d = 0.0;
    // A prototype of another shape cannot be compared and takes no part.
    if (t.measurer->Measure(*t.prototypes[i], *y, &d) != 0) continue;
    best.Offer({d, static_cast<int>(i)});
  }
  out.clear();
  for (const Candidate& c : best.Entries()) out.push_back({t.labels[c.index], c.distance});
  return true;
}

bool COCRMultiTpl::Recognize(const std::uint8_t* image, int width, int height, char* labels, int n,
                             double* distances) {
  if (n < 1 || labels == nullptr) return false;
  if (!HasInk(image, width, height)) return false;
  try {
    // The merged set, ascending by distance; equal distances keep their arrival order.
    std::vector<Scored> merged;
    std::vector<Scored> found;
    bool anySucceeded = false;
    for (const Template& t : templates_) {
      if (!RecognizeWith(t, image, width, height, n, found)) continue;
      anySucceeded = true;
      for (Scored& candidate : found) {
        auto same = std::find_if(merged.begin(), merged.end(),
                                 [&](const Scored& s) { return s.label == candidate.label; });
        if (same != merged.end()) {
          candidate.distance = std::min(candidate.distance, same->distance);
          merged.erase(same);
        }
      }
      for (Scored& candidate : found) {
        auto later = [](const Scored& s, double d) { return s.distance <= d; };
        if (merged.size() == static_cast<std::size_t>(n)) {
          if (!(candidate.distance < merged.back().distance)) continue;
          merged.pop_back();
        }
        auto at = std::partition_point(merged.begin(), merged.end(),
                                       [&](const Scored& s) { return later(s, candidate.distance); });
        merged.insert(at, std::move(candidate));
      }
    }
    if (!anySucceeded) return false;
    for (std::size_t i = 0; i < merged.size(); ++i) {
      std::memcpy(labels + i * kLabelBytes, merged[i].label.data(), kLabelBytes);
      if (distances != nullptr) distances[i] = merged[i].distance;
    }
    labels[merged.size() * kLabelBytes] = '\0';
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace orvane::ocr
