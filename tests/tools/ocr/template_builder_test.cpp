#include "ocr/template_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>

#include <gtest/gtest.h>

#include "ocr/accuracy.h"
#include "ocr/augment.h"
#include "ocr/default_build.h"
#include "ocr/engine_features.h"
#include "ocr/file_operator.h"
#include "ocr/ocr_handle.h"
#include "rendered_page.h"
#include "temp_folder.h"

namespace orvane::ocrtools {
namespace {

// A few hundred classes from one font; checked at a size it was not trained on.
BuildOptions SmallBuild(std::size_t classCount, int threads) {
  return testing::SmallTemplateOptions(classCount, {22, 40}, 30, threads);
}

std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class SmallTemplate : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    result_ = std::make_unique<BuildResult>(BuildTemplate(SmallBuild(300, 4), EngineFeatures()));
  }
  static void TearDownTestSuite() { result_.reset(); }
  static std::unique_ptr<BuildResult> result_;
};
std::unique_ptr<BuildResult> SmallTemplate::result_;

TEST_F(SmallTemplate, ReadsUnseenSizesOfItsFont) {
  EXPECT_EQ(result_->heldOut.samples, 300);
  EXPECT_GE(result_->heldOut.Accuracy(), 0.97);
}

TEST_F(SmallTemplate, CalibrationSeparatesCorrectFromWrongReadings) {
  const HeldOutReport& h = result_->heldOut;
  ASSERT_FALSE(h.correctDistances.empty());
  ASSERT_FALSE(h.wrongDistances.empty());  // the turned pictures
  auto share = [](const std::vector<double>& values, auto test) {
    return static_cast<double>(std::count_if(values.begin(), values.end(), test)) / values.size();
  };
  EXPECT_GE(share(h.correctDistances, [](double d) { return d < kConfidentDistance; }), 0.9);
  EXPECT_GE(share(h.wrongDistances, [](double d) { return d > kBlankDistance; }), 0.9);
  // Nothing negative: every class's smallest possible value, its constant, is at least 0.
  const TemplateContent& content = result_->content;
  for (std::size_t c = 0; c < content.labels.size(); ++c)
    EXPECT_GE(RecordFields(content.model, static_cast<int>(c), content.calibration).constant, -1e-12);
  EXPECT_GE(*std::min_element(h.correctDistances.begin(), h.correctDistances.end()), 0.0);
}

TEST_F(SmallTemplate, FileHoldsTheHeaderTheTransformAndFiveRecordsPerClass) {
  orvane::testing::TempFolder folder;
  const auto path = folder.path() / "small.tpl";
  ASSERT_TRUE(WriteTemplate(path, result_->content));
  ocr::CCmmFileOperatorImp file;
  ASSERT_EQ(file.Open(path, false), 0);
  for (const char* text : {"NEW:RLDA_PLUS_MQDF", "-N", "LN", "-F", "GRA", "-S", "L2", "-TRS"}) {
    const auto record = file.ReadMatrix();
    ASSERT_TRUE(record && ocr::IsOcrString(record.get()));
    EXPECT_EQ(ocr::OcrStringText(*record), text);
  }
  const auto transform = file.ReadMatrix();
  ASSERT_TRUE(transform);
  EXPECT_EQ(transform->type, ocr::kOcrDouble);
  EXPECT_EQ(transform->rows, 96);
  EXPECT_EQ(transform->cols, 512);
  int classes = 0;
  while (auto label = file.ReadMatrix()) {
    ASSERT_TRUE(ocr::IsOcrString(label.get()));
    EXPECT_EQ(ocr::OcrStringText(*label), "+" + result_->content.labels[classes]);
    const std::pair<int, int> shapes[] = {{96, 1}, {10, 96}, {10, 1}, {1, 1}, {1, 1}};
    for (const auto& [rows, cols] : shapes) {
      const auto record = file.ReadMatrix();
      ASSERT_TRUE(record);
      EXPECT_EQ(record->type, ocr::kOcrDouble);
      EXPECT_EQ(record->rows, rows);
      EXPECT_EQ(record->cols, cols);
    }
    ++classes;
  }
  EXPECT_EQ(file.LastReadState(), ocr::OcrReadState::kEnd);
  EXPECT_EQ(classes, 300);
}

TEST_F(SmallTemplate, EngineReadsTheFileAsItWasTrained) {
  orvane::testing::TempFolder folder;
  const auto path = folder.path() / "small.tpl";
  ASSERT_TRUE(WriteTemplate(path, result_->content));
  auto classes = TemplateClasses();
  classes.resize(300);
  const AccuracyReport report = MeasureAccuracy(path, classes, testing::kPageFont, {30}, 2);
  EXPECT_EQ(report.samples, 300);
  EXPECT_EQ(report.correct, result_->heldOut.correct);

  // The engine's distance is the builder's calibrated one.
  ocr::COCRHandle engine;
  ASSERT_TRUE(engine.Initialize(path));
  GlyphRenderer renderer(testing::kPageFont);
  const FeatureFunction features = EngineFeatures();
  std::vector<float> vector(features.dimension);
  const TemplateContent& content = result_->content;
  for (int c : {0, 57, 299}) {
    const cv::Mat picture = Degrade(renderer.Render(classes[c].codePoint, 30), Distortion{}, 0);
    char label[3] = {};
    double distance = -1;
    ASSERT_TRUE(engine.Recognize(picture.ptr(), picture.cols, picture.rows, label, 1, &distance));
    ASSERT_TRUE(features.extract(picture, vector.data()));
    cv::Mat column;
    cv::Mat(vector).convertTo(column, CV_64F);
    const cv::Mat y = content.transform * column;
    const Reading reading = Classify(content.model, y.ptr<double>());
    EXPECT_EQ(std::string(label, 2), content.labels[reading.label]);
    EXPECT_NEAR(distance, content.calibration.scale * reading.distance + content.calibration.offset, 1e-9);
  }
  engine.Release();
  engine.Destroy();
}

TEST(BuildTemplate, SameFileWhateverTheNumberOfThreads) {
  orvane::testing::TempFolder folder;
  const auto one = folder.path() / "one.tpl";
  const auto three = folder.path() / "three.tpl";
  ASSERT_TRUE(WriteTemplate(one, BuildTemplate(SmallBuild(40, 1), EngineFeatures()).content));
  ASSERT_TRUE(WriteTemplate(three, BuildTemplate(SmallBuild(40, 3), EngineFeatures()).content));
  const std::string bytes = FileBytes(one);
  EXPECT_GT(bytes.size(), 40u * 8u * 96u);
  EXPECT_TRUE(bytes == FileBytes(three));
}

TEST(BuildTemplate, LeavesOutClassesNoFontDraws) {
  BuildOptions options = SmallBuild(20, 2);
  options.ldaDimension = 12;
  options.principalAxes = 4;
  options.classes.push_back({"\xA1\xA1", U'\U0010FFFD'});  // a private-use code no font has
  const BuildResult result = BuildTemplate(options, EngineFeatures());
  EXPECT_EQ(result.content.labels.size(), 20u);
  EXPECT_EQ(result.skipped.size(), 1u);
}

// The page check reads its faces as designs the template has never seen: no face it is trained or
// calibrated on comes from the same maker's fonts (Debian keeps a maker's faces in folders named
// after it, such as "arphic" and "arphic-gbsn00lp").
TEST(DefaultBuildOptions, NeitherTrainsNorCalibratesOnTheCheckedFacesOrTheirMaker) {
  auto maker = [](const FontFace& face) {
    const std::string folder = face.file.parent_path().filename().string();
    return folder.substr(0, folder.find('-'));
  };
  const BuildOptions options = DefaultBuildOptions();
  for (const HeldOutFont& held : HeldOutFonts()) {
    for (const FontFace& font : options.trainingFonts) EXPECT_NE(maker(font), maker(held.face)) << held.style;
    EXPECT_NE(maker(options.heldOutFont), maker(held.face)) << held.style;
  }
  EXPECT_EQ(HeldOutFonts().size(), 4u);
}

TEST(BuildTemplate, MissingFontIsAnError) {
  BuildOptions options = SmallBuild(20, 1);
  options.trainingFonts = {{"/nonexistent/font.ttc", ""}};
  EXPECT_THROW(BuildTemplate(options, EngineFeatures()), std::runtime_error);
}

}  // namespace
}  // namespace orvane::ocrtools
