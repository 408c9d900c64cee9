#include "ocr/ocr_mqdf.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "ocr/candidate_set.h"
#include "ocr/file_operator.h"

namespace orvane::ocr {

namespace {

constexpr int kCoarseCandidates = 20;

bool IsDoubleVector(const OcrMatrix* m) {
  return m != nullptr && m->type == kOcrDouble && m->HasElements() && m->Count() > 0 && (m->rows == 1 || m->cols == 1);
}

bool IsDoubleMatrix(const OcrMatrix* m) { return m != nullptr && m->type == kOcrDouble && m->HasElements(); }

// The first double of a scalar record, when it is a finite number.
bool FirstFiniteDouble(const OcrMatrix* m, double& value) {
  if (!IsDoubleMatrix(m) || m->Count() == 0) return false;
  value = m->As<double>()[0];
  return std::isfinite(value);
}

bool IsKindTag(const std::string& text) {
  return EqualsIgnoringCase(text, "NEW:MQDF") || EqualsIgnoringCase(text, "NEW:RLDA_PLUS_MQDF");
}

// The name string that follows a tag; false when it is missing or no string.
bool ReadName(CFileOperator& file, std::string& name) {
  OcrMatrixPtr record = file.ReadMatrix();
  if (!IsOcrString(record.get())) return false;
  name = OcrStringText(*record);
  return true;
}

}  // namespace

COCRMQDF::~COCRMQDF() { Release(); }

void COCRMQDF::Release() {
  transform_.reset();
  normalizer_.reset();
  extractor_.reset();
  measurer_.reset();
  models_.clear();
  models_.shrink_to_fit();
  labels_.clear();
  labels_.shrink_to_fit();
  meanRows_.clear();
  meanRows_.shrink_to_fit();
  cosine_ = false;
  started_ = false;
}

bool COCRMQDF::Load(const std::filesystem::path& templatePath) {
  Release();  // a second load replaces the first instead of mixing two templates
  std::unique_ptr<CFileOperator> file = CreateFileOperator("Cmm");
  if (!file || file->Open(templatePath, false) != 0) return false;
  bool ok = false;
  try {
    ok = Read(*file) && Consistent();
    if (ok) {
      // One block in file order: the coarse pass streams through it instead of chasing records.
      const std::size_t k = static_cast<std::size_t>(models_.front().mean->rows);
      meanRows_.resize(models_.size() * k);
      for (std::size_t c = 0; c < models_.size(); ++c) {
        std::copy_n(models_[c].mean->As<double>(), k, meanRows_.data() + c * k);
      }
    }
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  file->Close();
  return ok;
}

bool COCRMQDF::Read(CFileOperator& file) {
  for (;;) {
    OcrMatrixPtr record = file.ReadMatrix();
    if (!record) return file.LastReadState() == OcrReadState::kEnd;
    if (!IsOcrString(record.get())) return false;
    const std::string text = OcrStringText(*record);
    if (IsKindTag(text)) {
      started_ = true;
    } else if (StartsWithIgnoringCase(text, "-F")) {
      std::string name;
      if (!ReadName(file, name) || !(extractor_ = CreateFeatureExtractor(name))) return false;
    } else if (StartsWithIgnoringCase(text, "-N")) {
      std::string name;
      if (!ReadName(file, name) || !(normalizer_ = CreateImageNormalizer(name))) return false;
    } else if (StartsWithIgnoringCase(text, "-S")) {
      std::string name;
      if (!ReadName(file, name) || !(measurer_ = CreateDistanceMeasurer(name))) return false;
      cosine_ = EqualsIgnoringCase(name, "Cos");
    } else if (EqualsIgnoringCase(text, "-TRS")) {
      OcrMatrixPtr transform = file.ReadMatrix();
      if (!IsDoubleMatrix(transform.get()) || transform->rows == 0 || transform->cols == 0) return false;
      transform_ = std::move(transform);
    } else if (!text.empty() && text[0] == '+') {
      if (!started_) return false;
      // Labels are written whole into the caller's 2-byte slots: any other length is damage.
      if (text.size() != 1 + kLabelBytes) return false;
      ClassModel model;
      model.mean = file.ReadMatrix();
      model.eigenvectors = file.ReadMatrix();
      model.weights = file.ReadMatrix();
      OcrMatrixPtr divisor = file.ReadMatrix();
      OcrMatrixPtr constant = file.ReadMatrix();
      if (!IsDoubleVector(model.mean.get()) || !IsDoubleMatrix(model.eigenvectors.get()) ||
          !IsDoubleMatrix(model.weights.get())) {
        return false;
      }
      ReshapeOcrMatrix(model.mean.get(), model.mean->rows * model.mean->cols);  // a column
      const int k = model.mean->rows;
      if (model.eigenvectors->cols != k || model.weights->Count() < static_cast<std::size_t>(model.eigenvectors->rows)) {
        return false;
      }
      if (!FirstFiniteDouble(divisor.get(), model.divisor) || model.divisor == 0.0 ||
          !FirstFiniteDouble(constant.get(), model.constant)) {
        return false;
      }
      models_.push_back(std::move(model));
      labels_.push_back(text.substr(1));
    }
    // Any other string is a comment.
  }
}

bool COCRMQDF::Consistent() const {
  if (models_.empty()) return false;
  const int k = models_.front().mean->rows;
  for (const ClassModel& model : models_) {
    if (model.mean->rows != k) return false;
  }
  if (transform_ && transform_->rows != k) return false;
  if (extractor_) {
    // The extractor's length is fixed by its parameters; learn it from a blank grid.
    OcrMatrixPtr blank = CreateOcrMatrix(kOcrUInt8, kNormalizedSide, kNormalizedSide);
    OcrMatrixPtr features = blank ? extractor_->Extract(*blank, 0) : nullptr;
    if (!features) return false;
    const std::size_t expected = transform_ ? static_cast<std::size_t>(transform_->cols) : static_cast<std::size_t>(k);
    if (features->Count() != expected) return false;
  }
  return true;
}

bool COCRMQDF::Recognize(const std::uint8_t* image, int width, int height, char* labels, int n,
                         double* distances) {
  if (n < 1) n = 1;
  if (!normalizer_ || !extractor_ || !measurer_ || labels == nullptr || models_.empty()) return false;
  if (!HasInk(image, width, height)) return false;
  try {
    OcrMatrixPtr y = PrepareFeatureVector(image, width, height, *normalizer_, *extractor_, transform_.get(), cosine_);
    if (!y) return false;

    const std::size_t k = static_cast<std::size_t>(models_.front().mean->rows);
    if (y->rows != static_cast<int>(k) || y->cols != 1 || meanRows_.size() != models_.size() * k) return false;
    // The coarse pass only chooses which classes the fine one ranks: float precision serves it.
    std::vector<float> narrowed(k);
    std::copy_n(y->As<double>(), k, narrowed.begin());
    std::vector<double> coarseDistances(models_.size());
    measurer_->MeasureFloatRows(meanRows_.data(), models_.size(), k, narrowed.data(), coarseDistances.data());
    CandidateSet coarse(static_cast<std::size_t>(std::max(kCoarseCandidates, n)));
    for (std::size_t c = 0; c < models_.size(); ++c) coarse.Offer({coarseDistances[c], static_cast<int>(c)});

    // Ties in the fine pass go to the better coarse rank.
    CandidateSet fine(coarse.Size());
    OcrMatrixPtr residual = CreateOcrMatrix(kOcrDouble, y->rows, 1);
    if (!residual) return false;
    const double* features = y->As<double>();
    for (std::size_t rank = 0; rank < coarse.Size(); ++rank) {
      const ClassModel& model = models_[coarse.Entries()[rank].index];
      const double* mean = model.mean->As<double>();
      double* r = residual->As<double>();
      double sum = 0.0;
      for (int i = 0; i < y->rows; ++i) {
        r[i] = features[i] - mean[i];
        sum += r[i] * r[i];
      }
      if (model.eigenvectors->rows > 0) {
        OcrMatrixPtr projections = MultiplyOcrMatrix(model.eigenvectors.get(), residual.get());
        if (!projections) return false;
        const double* p = projections->As<double>();
        const double* w = model.weights->As<double>();
        for (int j = 0; j < model.eigenvectors->rows; ++j) sum += w[j] * p[j] * p[j];
      }
      fine.Offer({sum / model.divisor + model.constant, static_cast<int>(rank)});
    }

    const std::size_t count = std::min(fine.Size(), static_cast<std::size_t>(n));
    for (std::size_t i = 0; i < count; ++i) {
      const Candidate& candidate = fine.Entries()[i];
      const std::string& label = labels_[coarse.Entries()[candidate.index].index];
      std::memcpy(labels + i * kLabelBytes, label.data(), kLabelBytes);
      if (distances != nullptr) distances[i] = candidate.distance;
    }
    labels[count * kLabelBytes] = '\0';
    labels[static_cast<std::size_t>(n) * kLabelBytes] = '\0';
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace orvane::ocr
