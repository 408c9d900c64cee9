#include "ocr/ocr_multi_tpl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ocr/ocr_handle.h"
#include "ocr_template_writer.h"
#include "temp_folder.h"

namespace orvane::ocr {
namespace {

using testing::TemplateBytes;

const std::string kA = "\xB0\xA1", kB = "\xB0\xA2", kC = "\xB0\xA3";

// With a zero transform every image maps to y = 0 and an L2 prototype's distance is |p|^2.
TemplateBytes& ZeroTemplate(TemplateBytes& t) {
  return t.String("NEW").String("LN").String("GRA").String("L2").String("TRS").Zeros(2, 512);
}

class MultiTplTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const TemplateBytes& t) {
    const auto path = folder_ / ("m" + std::to_string(files_++) + ".tpl");
    t.WriteTo(path);
    return path;
  }
  bool Recognize(COCRInterface& engine, char* labels, int n, double* distances) {
    const std::uint8_t image[6] = {0, 255, 255, 0, 255, 0};
    return engine.Recognize(image, 3, 2, labels, n, distances);
  }
  orvane::testing::TempFolder folder_;
  int files_ = 0;
};

TEST_F(MultiTplTest, TemplatesAreMergedByLabelKeepingTheSmallerDistance) {
  TemplateBytes t;
  ZeroTemplate(t).String(kA).Doubles(2, 1, {1, 0}).String(kB).Doubles(2, 1, {2, 0});
  ZeroTemplate(t).String(kB).Doubles(1, 2, {0, 1}).String(kC).Doubles(2, 1, {0, 3});
  COCRMultiTpl engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  EXPECT_EQ(engine.TemplateCount(), 2);
  char labels[7];
  std::memset(labels, 'x', sizeof labels);
  double distances[3] = {-1, -1, -1};
  ASSERT_TRUE(Recognize(engine, labels, 3, distances));
  EXPECT_EQ(std::string(labels), kA + kB + kC);  // A and B tie at 1: arrival order
  EXPECT_EQ(distances[0], 1.0);
  EXPECT_EQ(distances[1], 1.0);
  EXPECT_EQ(distances[2], 9.0);

  char two[5];
  ASSERT_TRUE(Recognize(engine, two, 2, distances));  // a full set holds n
  EXPECT_EQ(std::string(two), kA + kB);
  char none[3];
  EXPECT_FALSE(Recognize(engine, none, 0, distances));
}

TEST_F(MultiTplTest, NearestPrototypeWinsAndTiesKeepTheFirst) {
  TemplateBytes t;
  ZeroTemplate(t).String(kB).Doubles(2, 1, {0, 2}).String(kA).Doubles(2, 1, {2, 0}).String(kC).Doubles(2, 1, {1, 1});
  COCRMultiTpl engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[3];
  double distance = 0;
  ASSERT_TRUE(Recognize(engine, labels, 1, &distance));
  EXPECT_EQ(std::string(labels), kC);
  EXPECT_EQ(distance, 2.0);
  char all[7];
  ASSERT_TRUE(Recognize(engine, all, 3, nullptr));
  EXPECT_EQ(std::string(all), kC + kB + kA);
}

TEST_F(MultiTplTest, CosineTemplatesCompareLengthNormalisedFeatures) {
  // Transform rows of ones and twos: y is along (1, 2) for any image with a gradient.
  std::vector<double> rows(2 * 512);
  std::fill(rows.begin(), rows.begin() + 512, 1.0);
  std::fill(rows.begin() + 512, rows.end(), 2.0);
  TemplateBytes t;
  t.String("NEW").String("LN").String("GRA").String("cos").String("TRS").Doubles(2, 512, rows);
  t.String(kA).Doubles(2, 1, {1, 0}).String(kB).Doubles(2, 1, {1 / std::sqrt(5.0), 2 / std::sqrt(5.0)});
  COCRMultiTpl engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[5];
  double distances[2];
  ASSERT_TRUE(Recognize(engine, labels, 2, distances));
  EXPECT_EQ(std::string(labels), kB + kA);
  EXPECT_NEAR(distances[0], 0.0, 1e-9);
  EXPECT_NEAR(distances[1], 1 - 1 / std::sqrt(5.0), 1e-9);
}

TEST_F(MultiTplTest, DamagedFilesEndTheReadingButKeepWhatWasRead) {
  struct Case { const char* what; TemplateBytes bytes; int templates; bool recognizes; };
  Case cases[] = {
      {"transform before any template", TemplateBytes().String("TRS").Zeros(2, 512).String("NEW"), 0, false},
      {"prototype before any template", TemplateBytes().String(kA).Zeros(2, 1).String("NEW"), 0, false},
      {"truncated prototype", [] {
         TemplateBytes t;
         ZeroTemplate(t).String(kA).Doubles(2, 1, {1, 0}).String(kB).Doubles(2, 1, {0, 1}).Truncate(4);
         return t;
       }(), 1, true},
      {"record that is no string", [] {
         TemplateBytes t;
         ZeroTemplate(t).String(kA).Doubles(2, 1, {1, 0}).Zeros(1, 1).String("NEW");
         return t;
       }(), 1, true},
  };
  for (Case& c : cases) {
    COCRMultiTpl engine;
    EXPECT_TRUE(engine.Load(Write(c.bytes))) << c.what;
    EXPECT_EQ(engine.TemplateCount(), c.templates) << c.what;
    char labels[3] = {'x', 'x', 'x'};
    EXPECT_EQ(Recognize(engine, labels, 1, nullptr), c.recognizes) << c.what;
    if (c.recognizes) {
      EXPECT_EQ(std::string(labels), kA) << c.what;
    }
  }
  EXPECT_FALSE(COCRMultiTpl().Load(folder_ / "missing.tpl"));
}

TEST_F(MultiTplTest, PrototypesOfAnotherShapeTakeNoPart) {
  TemplateBytes t;
  ZeroTemplate(t).String(kA).Doubles(3, 1, {0, 0, 0}).String(kB).Doubles(2, 1, {5, 0});
  COCRMultiTpl engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[5];
  double distances[2] = {-1, -1};
  ASSERT_TRUE(Recognize(engine, labels, 2, distances));
  EXPECT_EQ(std::string(labels), kB);
  EXPECT_EQ(distances[0], 25.0);
  EXPECT_EQ(distances[1], -1);
}

TEST_F(MultiTplTest, EmptyImageAndIncompleteTemplatesFail) {
  TemplateBytes t;
  t.String("NEW").String("XX").String("GRA").String("L2").String(kA).Zeros(512, 1);
  COCRMultiTpl engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[3] = {'x', 'x', 'x'};
  EXPECT_FALSE(Recognize(engine, labels, 1, nullptr));  // no normaliser
  TemplateBytes good;
  ZeroTemplate(good).String(kA).Doubles(2, 1, {1, 0});
  COCRMultiTpl working;
  ASSERT_TRUE(working.Load(Write(good)));
  const std::uint8_t blank[4] = {0, 0, 0, 0};
  EXPECT_FALSE(working.Recognize(blank, 2, 2, labels, 1, nullptr));
  EXPECT_EQ(labels[0], 'x');
}

TEST_F(MultiTplTest, HolderSelectsItForTheKindNew) {
  TemplateBytes t;
  t.String("new").String("LN").String("GRA").String("L2").String("TRS").Zeros(2, 512).String(kA).Doubles(2, 1, {1, 0});
  COCRHandle handle;
  ASSERT_TRUE(handle.Initialize(Write(t)));
  EXPECT_NE(dynamic_cast<COCRMultiTpl*>(handle.Engine()), nullptr);
  char labels[3];
  const std::uint8_t image[1] = {7};
  EXPECT_TRUE(handle.Recognize(image, 1, 1, labels, 1, nullptr));
  EXPECT_EQ(std::string(labels), kA);
}

}  // namespace
}  // namespace orvane::ocr
