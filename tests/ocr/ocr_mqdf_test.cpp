#include "ocr/ocr_mqdf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>

#include "ocr/ocr_handle.h"
#include "ocr_template_writer.h"
#include "temp_folder.h"

namespace orvane::ocr {
namespace {

using testing::TemplateBytes;

// With an all-zero transform every image maps to y = 0, so a class's coarse distance is |mean|^2
// and its fine distance (|mean|^2 + sum w (e . mean)^2) / divisor + constant: the tests choose both.
struct ClassSpec {
  std::string label;
  std::vector<double> mean;  // k = 2
  double constant = 0;
  double divisor = 1;
};

TemplateBytes& Header(TemplateBytes& t, const char* kind = "NEW:RLDA_PLUS_MQDF") {
  return t.String(kind).String("-N").String("LN").String("-F").String("GRA").String("-S").String("L2")
      .String("-TRS").Zeros(2, 512);
}

TemplateBytes& AddClass(TemplateBytes& t, const ClassSpec& c) {
  return t.String("+" + c.label)
      .Doubles(2, 1, c.mean)
      .Doubles(1, 2, {1, 0})
      .Doubles(1, 1, {0.5})
      .Doubles(1, 1, {c.divisor})
      .Doubles(1, 1, {c.constant});
}

std::string Label(int i) { return {static_cast<char>(0xB0), static_cast<char>(0xA1 + i)}; }

class MqdfTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(const TemplateBytes& t) {
    const auto path = folder_ / ("t" + std::to_string(files_++) + ".tpl");
    t.WriteTo(path);
    return path;
  }
  bool RecognizeInk(COCRInterface& engine, char* labels, int n, double* distances) {
    std::vector<std::uint8_t> image(6 * 5, 0);
    image[7] = image[8] = image[12] = image[13] = 255;
    return engine.Recognize(image.data(), 5, 6, labels, n, distances);
  }
  orvane::testing::TempFolder folder_;
  int files_ = 0;
};

TEST_F(MqdfTest, FewerClassesThanRequestedFillsThePrefixAndBothTerminators) {
  TemplateBytes t;
  Header(t);
  for (int i = 0; i < 5; ++i) AddClass(t, {Label(i), {double(i), 0}});
  COCRMQDF engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[21];
  std::memset(labels, 'x', sizeof labels);
  double distances[10];
  std::fill(std::begin(distances), std::end(distances), -7.0);
  ASSERT_TRUE(RecognizeInk(engine, labels, 10, distances));
  std::string expected;
  for (int i = 0; i < 5; ++i) expected += Label(i);
  EXPECT_EQ(std::string(labels, 10), expected);
  EXPECT_EQ(labels[10], '\0');
  EXPECT_EQ(std::string(labels + 11, 9), std::string(9, 'x'));
  EXPECT_EQ(labels[20], '\0');
  for (int i = 0; i < 5; ++i) EXPECT_DOUBLE_EQ(distances[i], 1.5 * i * i) << i;  // |m|^2 + 0.5 (e.m)^2
  EXPECT_EQ(distances[5], -7.0);
}

TEST_F(MqdfTest, RequestForNoCandidateGivesOne) {
  TemplateBytes t;
  Header(t);
  AddClass(t, {Label(0), {1, 0}});
  AddClass(t, {Label(1), {2, 0}});
  COCRMQDF engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[3] = {'x', 'x', 'x'};
  double distance = 0;
  ASSERT_TRUE(RecognizeInk(engine, labels, 0, &distance));
  EXPECT_EQ(std::string(labels, 2), Label(0));
  EXPECT_EQ(labels[2], '\0');
  EXPECT_DOUBLE_EQ(distance, 1.5);
}

TEST_F(MqdfTest, FinePassReordersTheCoarseCandidates) {
  TemplateBytes t;
  Header(t);
  AddClass(t, {Label(0), {1, 0}, /*constant=*/10});
  AddClass(t, {Label(1), {0, 2}, /*constant=*/0, /*divisor=*/8});  // 4 / 8
  AddClass(t, {Label(2), {3, 0}});                                  // 13.5
  COCRMQDF engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[7];
  double distances[3];
  ASSERT_TRUE(RecognizeInk(engine, labels, 3, distances));
  EXPECT_EQ(std::string(labels, 6), Label(1) + Label(0) + Label(2));
  EXPECT_DOUBLE_EQ(distances[0], 0.5);
  EXPECT_DOUBLE_EQ(distances[1], 11.5);
  EXPECT_DOUBLE_EQ(distances[2], 13.5);
}

TEST_F(MqdfTest, EqualDistancesAreAllKeptAndAFullSetKeepsTheEarliest) {
  // 25 classes at one distance: the coarse set of 20 is full; the first 20 in file order stay.
  TemplateBytes t;
  Header(t);
  for (int i = 0; i < 25; ++i) AddClass(t, {Label(i), {1, 1}});
  AddClass(t, {Label(30), {0, 3}});  // worse than all of them
  COCRMQDF engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[41];
  double distances[20];
  ASSERT_TRUE(RecognizeInk(engine, labels, 20, distances));
  std::string expected;
  for (int i = 0; i < 20; ++i) expected += Label(i);
  EXPECT_EQ(std::string(labels, 40), expected);
  for (double d : distances) EXPECT_DOUBLE_EQ(d, 2.5);

  char two[5];
  ASSERT_TRUE(RecognizeInk(engine, two, 2, nullptr));
  EXPECT_EQ(std::string(two, 4), Label(0) + Label(1));
}

TEST_F(MqdfTest, EmptyImageOrMissingPartsLeaveTheBuffersAlone) {
  TemplateBytes full;
  Header(full);
  AddClass(full, {Label(0), {1, 0}});
  COCRMQDF engine;
  ASSERT_TRUE(engine.Load(Write(full)));
  char labels[3] = {'x', 'x', 'x'};
  double distance = -1;
  std::vector<std::uint8_t> blank(16, 0);
  EXPECT_FALSE(engine.Recognize(blank.data(), 4, 4, labels, 1, &distance));
  EXPECT_FALSE(engine.Recognize(nullptr, 4, 4, labels, 1, &distance));
  EXPECT_EQ(std::string(labels, 3), "xxx");
  EXPECT_EQ(distance, -1);

  TemplateBytes noMeasurer;
  noMeasurer.String("NEW:MQDF").String("-N").String("LN").String("-F").String("GRA").String("-TRS").Zeros(2, 512);
  AddClass(noMeasurer, {Label(0), {1, 0}});
  COCRMQDF partial;
  ASSERT_TRUE(partial.Load(Write(noMeasurer)));
  EXPECT_FALSE(RecognizeInk(partial, labels, 1, &distance));
  EXPECT_EQ(std::string(labels, 3), "xxx");
}

TEST_F(MqdfTest, EachCharacterIsNearestToTheClassBuiltFromItsOwnFeatures) {
  // Means made of the prepared features of two pictures, through a transform of 16 rows.
  std::vector<double> transform(16 * 512);
  for (std::size_t i = 0; i < transform.size(); ++i) transform[i] = std::sin(0.37 * double(i)) * 0.01;
  OcrMatrixPtr transformRecord = CreateOcrMatrix(kOcrDouble, 16, 512);
  std::copy(transform.begin(), transform.end(), transformRecord->As<double>());
  std::vector<std::uint8_t> bar(20 * 20, 0), ring(20 * 20, 0);
  for (int y = 2; y < 18; ++y)
    for (int x = 8; x < 12; ++x) bar[y * 20 + x] = 255;
  for (int y = 3; y < 17; ++y)
    for (int x = 3; x < 17; ++x)
      if (y < 6 || y > 13 || x < 6 || x > 13) ring[y * 20 + x] = 200;
  CLinearNormalizerImp normalizer;
  CGradientFeatureExtractorImp extractor;
  TemplateBytes t;
  t.String("NEW:RLDA_PLUS_MQDF").String("-N").String("LN").String("-F").String("GRA").String("-S").String("L2")
      .String("-TRS").Record(*transformRecord);
  int index = 0;
  for (const auto* picture : {&bar, &ring}) {
    OcrMatrixPtr y = PrepareFeatureVector(picture->data(), 20, 20, normalizer, extractor, transformRecord.get(), false);
    ASSERT_NE(y, nullptr);
    ASSERT_EQ(y->rows, 16);
    ASSERT_EQ(y->cols, 1);
    t.String("+" + Label(index++)).Record(*y).Zeros(0, 16).Zeros(0, 1).Doubles(1, 1, {2}).Doubles(1, 1, {0.125});
  }
  COCRMQDF engine;
  ASSERT_TRUE(engine.Load(Write(t)));
  char labels[5];
  double distances[2];
  ASSERT_TRUE(engine.Recognize(bar.data(), 20, 20, labels, 2, distances));
  EXPECT_EQ(std::string(labels), Label(0) + Label(1));
  EXPECT_NEAR(distances[0], 0.125, 1e-9);
  EXPECT_GT(distances[1], 0.125);
  ASSERT_TRUE(engine.Recognize(ring.data(), 20, 20, labels, 2, distances));
  EXPECT_EQ(std::string(labels), Label(1) + Label(0));
  EXPECT_NEAR(distances[0], 0.125, 1e-9);
}

TEST_F(MqdfTest, DamagedTemplatesFailToLoad) {
  using Build = std::function<void(TemplateBytes&)>;
  const auto good = [](TemplateBytes& t) { AddClass(Header(t), {Label(0), {1, 0}}); };
  struct Case { const char* what; Build build; };
  const Case cases[] = {
      {"truncated inside a class", [&](TemplateBytes& t) { good(t); t.Truncate(3); }},
      {"truncated header", [&](TemplateBytes& t) { good(t); t.Raw(std::string("\x01\0\0", 3)); }},
      {"negative size", [&](TemplateBytes& t) { good(t); t.Raw(std::string("\xff\xff\xff\xff\x02\0\0\0\x05\0\0\0", 12)); }},
      {"huge size", [&](TemplateBytes& t) { good(t); t.Raw(std::string("\xff\xff\xff\x7f\xff\xff\xff\x7f\x05\0\0\0", 12)); }},
      {"class before the kind", [](TemplateBytes& t) {
         t.String("-N").String("LN");
         AddClass(t, {Label(0), {1, 0}});
         t.String("NEW:MQDF");
       }},
      {"no class at all", [](TemplateBytes& t) { Header(t); }},
      {"mean longer than the transform", [](TemplateBytes& t) {
         Header(t).String("+" + Label(0)).Doubles(3, 1, {1, 0, 0}).Doubles(1, 3, {1, 0, 0}).Doubles(1, 1, {1})
             .Doubles(1, 1, {1}).Doubles(1, 1, {0});
       }},
      {"eigenvectors of another length", [](TemplateBytes& t) {
         Header(t).String("+" + Label(0)).Doubles(2, 1, {1, 0}).Doubles(1, 3, {1, 0, 0}).Doubles(1, 1, {1})
             .Doubles(1, 1, {1}).Doubles(1, 1, {0});
       }},
      {"fewer weights than eigenvectors", [](TemplateBytes& t) {
         Header(t).String("+" + Label(0)).Doubles(2, 1, {1, 0}).Doubles(2, 2, {1, 0, 0, 1}).Doubles(1, 1, {1})
             .Doubles(1, 1, {1}).Doubles(1, 1, {0});
       }},
      {"zero divisor", [](TemplateBytes& t) { AddClass(Header(t), {Label(0), {1, 0}, 0, 0}); }},
      {"divisor not a double", [](TemplateBytes& t) {
         Header(t).String("+" + Label(0)).Doubles(2, 1, {1, 0}).Doubles(1, 2, {1, 0}).Doubles(1, 1, {1})
             .String("1").Doubles(1, 1, {0});
       }},
      {"one-byte label", [](TemplateBytes& t) { AddClass(Header(t), {"A", {1, 0}}); }},
      {"transform of another feature length", [](TemplateBytes& t) {
         t.String("NEW:MQDF").String("-N").String("LN").String("-F").String("GRA").String("-S").String("L2")
             .String("-TRS").Zeros(2, 100);
         AddClass(t, {Label(0), {1, 0}});
       }},
      {"unknown extractor", [&](TemplateBytes& t) { good(t); t.String("-F").String("XYZ"); }},
      {"Gabor waves longer than a character", [&](TemplateBytes& t) { good(t); t.String("-F").String("GAB:1:1:1000"); }},
      {"Gabor parameters beyond an int", [&](TemplateBytes& t) {
         good(t);
         t.String("-F").String("GBF:2000000:1:99999999999");
       }},
      {"tag without its name", [&](TemplateBytes& t) { good(t); t.String("-S"); }},
      {"top-level record that is no string", [&](TemplateBytes& t) { good(t); t.Zeros(1, 1); }},
      {"transform that is no matrix of doubles", [&](TemplateBytes& t) { good(t); t.String("-TRS").String("x"); }},
  };
  for (const Case& c : cases) {
    TemplateBytes t;
    c.build(t);
    COCRMQDF engine;
    EXPECT_FALSE(engine.Load(Write(t))) << c.what;
  }
  TemplateBytes sound;
  good(sound);
  sound.String("a comment").String("-Tother");
  COCRMQDF engine;
  const auto soundPath = Write(sound);
  EXPECT_TRUE(engine.Load(soundPath));
  EXPECT_EQ(engine.ClassCount(), 1u);
  EXPECT_TRUE(engine.Load(soundPath));
  EXPECT_EQ(engine.ClassCount(), 1u);
  EXPECT_FALSE(COCRMQDF().Load(folder_ / "missing.tpl"));
}

TEST_F(MqdfTest, HolderChoosesTheEngineFromTheFirstRecord) {
  TemplateBytes lower;
  AddClass(Header(lower, "new:mqdf"), {Label(0), {1, 0}});
  COCRHandle handle;
  ASSERT_TRUE(handle.Initialize(Write(lower)));
  EXPECT_NE(dynamic_cast<COCRMQDF*>(handle.Engine()), nullptr);
  EXPECT_FALSE(handle.Initialize(Write(lower)));  // one engine per holder
  char labels[3];
  std::vector<std::uint8_t> image{0, 9, 9, 0};
  EXPECT_TRUE(handle.Recognize(image.data(), 2, 2, labels, 1, nullptr));
  EXPECT_EQ(std::string(labels), Label(0));
  handle.Release();
  EXPECT_FALSE(handle.Recognize(image.data(), 2, 2, labels, 1, nullptr));
  handle.Destroy();
  EXPECT_EQ(handle.Engine(), nullptr);

  struct Case { const char* what; TemplateBytes bytes; };
  Case failing[] = {
      {"first record a 1 x 3 double matrix", TemplateBytes().Doubles(1, 3, {1, 2, 3})},
      {"unknown kind", TemplateBytes().String("OLD")},
      {"empty file", TemplateBytes()},
  };
  for (Case& c : failing) {
    COCRHandle h;
    EXPECT_FALSE(h.Initialize(Write(c.bytes))) << c.what;
    EXPECT_EQ(h.Engine(), nullptr) << c.what;
  }
  COCRHandle missing;
  EXPECT_FALSE(missing.Initialize(folder_ / "missing.tpl"));
}

TEST(OcrHandle, ReleaseAndDestroyWithoutAnEngineAreHarmless) {
  COCRHandle handle;
  handle.Release();
  handle.Destroy();
  char labels[3] = {'x', 'x', 'x'};
  std::uint8_t ink = 1;
  EXPECT_FALSE(handle.Recognize(&ink, 1, 1, labels, 1, nullptr));
  EXPECT_EQ(labels[0], 'x');
}

TEST(OcrLabels, LeaveTheEngineAsUtf8) {
  EXPECT_EQ(OcrLabelToUtf8("\xB0\xA1"), "\xE5\x95\x8A");  // the first level-1 character
  EXPECT_EQ(OcrLabelToUtf8("\xA3\xB1"), "\xEF\xBC\x91");  // full-width digit one
  EXPECT_EQ(OcrLabelToUtf8("\xFF\xFF"), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace orvane::ocr
