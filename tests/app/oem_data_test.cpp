#include "app/oem_data.h"

#include <gtest/gtest.h>

#include "branding/oem_writer.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane {
namespace {

using branding::OemContent;

BgrPicture Gradient(int width, int height, int seed) {
  BgrPicture picture{width, height, {}};
  for (int i = 0; i < width * height * 3; ++i) picture.pixels.push_back(static_cast<std::uint8_t>(i * 7 + seed));
  return picture;
}

// Hand-made file bytes, for what the writer refuses to make.
class Bytes {
 public:
  Bytes& Int(std::int64_t value) {
    branding::AppendInt32(bytes_, static_cast<std::int32_t>(static_cast<std::uint32_t>(value)));
    return *this;
  }
  Bytes& Raw(std::string_view raw) {
    bytes_ += raw;
    return *this;
  }
  Bytes& Text(std::string_view text) {
    branding::AppendScrambledText(bytes_, text, keys_);
    return *this;
  }
  // A 1 x 1 logo, then the given link.
  Bytes& LogoAndLink(std::string_view link) { return Int(1).Int(1).Raw(std::string("\1\2\3\0", 4)).Text(link); }
  // Up to the end of the items: 1 x 1 logo, link, no splash, items.
  Bytes& Mandatory(std::string_view link = "", std::string_view items = "") {
    return LogoAndLink(link).Int(0).Text(items);
  }
  std::string str() const { return bytes_; }

 private:
  std::string bytes_;
  branding::ScrambleKeys keys_;
};

std::string Encode(const OemContent& content) {
  std::string error;
  auto bytes = branding::EncodeOemData(content, error);
  EXPECT_TRUE(bytes) << error;
  return bytes.value_or("");
}

void ExpectRecord(const COemData& record, const OemContent& content) {
  EXPECT_EQ(record.logo(), content.logo);
  EXPECT_EQ(record.splash(), content.splash);
  EXPECT_EQ(record.link(), content.link);
  EXPECT_EQ(record.items(), content.items);
  EXPECT_EQ(record.noticeShown(), content.noticeShown);
  EXPECT_EQ(record.productName(), content.productName);
  EXPECT_EQ(record.noticeText(), content.noticeText);
}

class OemDataTest : public ::testing::Test {
 protected:
  std::filesystem::path Write(std::string_view bytes) {
    EXPECT_TRUE(platform::WriteFileAtomically(file_, bytes));
    return file_;
  }

  // Loads `bytes` into a fresh record.
  COemData LoadBytes(std::string_view bytes, int expected = 0) {
    COemData record;
    EXPECT_EQ(record.Load(Write(bytes)), expected);
    return record;
  }

  testing::TempFolder folder_;
  std::filesystem::path file_ = folder_ / "data.dat";
};

TEST_F(OemDataTest, ReadsEveryPartBackAsWritten) {
  OemContent content;
  content.logo = Gradient(129, 55, 1);  // rows of 387 bytes, padded in the file
  content.splash = Gradient(5, 3, 2);
  content.link = "https://example.com/产品";
  content.items = {"扫描", "OCR"};
  content.noticeShown = false;
  content.productName = "文档相机";
  content.noticeText = "客服：400-800";

  COemData record = LoadBytes(Encode(content));
  ExpectRecord(record, content);
}

TEST_F(OemDataTest, MinimalFileGivesNoSplashAndTheDefaults) {
  // Empty texts are a bare count of 0 and a splash height of 0 has no width after it; anything
  // else would shift the items.
  COemData record = LoadBytes(Bytes().Mandatory("", "x").str());
  ASSERT_TRUE(record.logo());
  EXPECT_EQ(*record.logo(), (BgrPicture{1, 1, {1, 2, 3}}));
  EXPECT_FALSE(record.splash());
  EXPECT_EQ(record.link(), "");
  EXPECT_EQ(record.items(), std::vector<std::string>{"x"});
  EXPECT_TRUE(record.noticeShown());
  EXPECT_EQ(record.productName(), "");
  EXPECT_EQ(record.noticeText(), "");
}

TEST_F(OemDataTest, UnreadablePathFailsAndKeepsRecord) {
  OemContent content;
  content.logo = Gradient(2, 2, 3);
  content.productName = "Kept";
  COemData record;
  ASSERT_EQ(record.Load(Write(Encode(content))), 0);

  EXPECT_EQ(record.Load(""), -1);
  EXPECT_EQ(record.Load(folder_ / "missing.dat"), -1);
  EXPECT_EQ(record.Load(folder_.path()), -1);
  ExpectRecord(record, content);
}

TEST_F(OemDataTest, DamagedMandatoryPartFailsAndKeepsRecord) {
  const std::string pixel("\1\2\3\0", 4);
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"empty file", ""},
      {"logo size cut short", Bytes().Int(1).str()},
      {"logo height negative", Bytes().Int(-1).Int(1).Raw(pixel).Text("").Int(0).Text("").str()},
      {"logo width negative", Bytes().Int(1).Int(-1).Raw(pixel).Text("").Int(0).Text("").str()},
      {"logo height zero", Bytes().Int(0).Int(1).Text("").Int(0).Text("").str()},
      {"logo width zero", Bytes().Int(1).Int(0).Text("").Int(0).Text("").str()},
      {"logo rows past the end", Bytes().Int(1000).Int(1).Raw(pixel).Text("").Int(0).Text("").str()},
      // Row size 3 * W wraps to 2 in 32 bits.
      {"logo row size overflows", Bytes().Int(1).Int(0x55555556).Raw(pixel).Text("").Int(0).Text("").str()},
      // H * 4 wraps to 0 in 32 bits.
      {"logo size overflows", Bytes().Int(0x40000000).Int(1).Raw(pixel).Text("").Int(0).Text("").str()},
      {"link count negative", Bytes().LogoAndLink("").Int(-1).Int(0).Text("").str()},
      // 8 * n wraps to 0 in 32 bits.
      {"link count overflows", Bytes().Int(1).Int(1).Raw(pixel).Int(0x20000000).Int(0).Text("").str()},
      {"link count huge", Bytes().Int(1).Int(1).Raw(pixel).Int(0x7FFFFFFF).Int(0).Text("").str()},
      {"splash height missing", Bytes().LogoAndLink("").str()},
      {"splash height negative", Bytes().LogoAndLink("").Int(-2).Int(1).Raw(pixel).Text("").str()},
      {"splash width missing", Bytes().LogoAndLink("").Int(1).str()},
      {"splash width zero", Bytes().LogoAndLink("").Int(1).Int(0).Text("").str()},
      {"splash width negative", Bytes().LogoAndLink("").Int(1).Int(-1).Raw(pixel).Text("").str()},
      {"splash rows past the end", Bytes().LogoAndLink("").Int(100).Int(100).Raw(pixel).Text("").str()},
      {"items missing", Bytes().LogoAndLink("").Int(0).str()},
      {"items count negative", Bytes().LogoAndLink("").Int(0).Int(-1).str()},
      {"items count huge", Bytes().LogoAndLink("").Int(0).Int(0x7FFFFFFF).Raw(std::string(64, 'x')).str()},
  };

  OemContent content;
  content.logo = Gradient(3, 2, 4);
  content.link = "kept";
  content.items = {"kept"};
  const std::string good = Encode(content);
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    COemData record;
    ASSERT_EQ(record.Load(Write(good)), 0);
    EXPECT_EQ(record.Load(Write(test.bytes)), -1);
    ExpectRecord(record, content);
  }
}

TEST_F(OemDataTest, ScrambledCharacterIsLowByteOfDifference) {
  const struct {
    std::uint32_t a;
    std::uint32_t b;
    const char* expected;
  } cases[] = {
      {0, 'x', "x"},
      {5, 0x12345600u + 5 + 'y', "y"},          // the high bits do not count
      {0xFFFFFFF0u, 0x31, "A"},                 // B below A
      {0x7FFFFFFFu, 0x80000041u, "B"},          // a difference beyond int32
      {0x100, 0x100, ""},                       // a zero byte ends the text
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.expected);
    std::string bytes = Bytes().Int(1).Int(1).Raw(std::string(4, '\0')).Int(1).Int(test.a).Int(test.b).Int(0).Text("").str();
    EXPECT_EQ(LoadBytes(bytes).link(), test.expected);
  }
}

TEST_F(OemDataTest, TextsEndAtTheirFirstNul) {
  using namespace std::string_literals;
  COemData record = LoadBytes(
      Bytes().Mandatory("ab\0cd"s, "a;b\0;c"s).Raw("\1\0\0\0"s).Text("").Text("Or\0x"s).Text("\0z"s).str());
  EXPECT_EQ(record.link(), "ab");
  EXPECT_EQ(record.items(), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(record.productName(), "Or");
  EXPECT_EQ(record.noticeText(), "");
}

TEST_F(OemDataTest, ItemListSplitsAtEverySemicolon) {
  const struct {
    const char* text;
    std::vector<std::string> items;
  } cases[] = {
      {"", {}},
      {"one", {"one"}},
      {"a;b", {"a", "b"}},
      {"a;;b", {"a", "", "b"}},
      {";", {"", ""}},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.text);
    EXPECT_EQ(LoadBytes(Bytes().Mandatory("", test.text).str()).items(), test.items);
  }
}

TEST_F(OemDataTest, InvalidGbkBytesBecomeReplacementCharacters) {
  COemData record = LoadBytes(Bytes().Mandatory("A\xFF" "B").Raw(std::string("\1\0\0\0", 4)).Text("").Text("\xD6\xD0\xD6").str());
  EXPECT_EQ(record.link(), "A\uFFFDB");
  EXPECT_EQ(record.productName(), "中\uFFFD");
}

TEST_F(OemDataTest, NoticeLineShownWhenFirstTwoFlagBytesDiffer) {
  const struct {
    std::string flag;
    bool shown;
  } cases[] = {
      {std::string("\0\0\0\0", 4), false},
      {std::string("\1\0\0\0", 4), true},
      {std::string("\0\1\0\0", 4), true},
      {std::string("\7\7\1\2", 4), false},  // the further two bytes do not count
      {std::string("\xFF\xFF\0\0", 4), false},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.shown);
    EXPECT_EQ(LoadBytes(Bytes().Mandatory().Raw(test.flag).str()).noticeShown(), test.shown);
  }
}

TEST_F(OemDataTest, TruncatedFileLoadsAsFarAsItIsWhole) {
  OemContent content;
  content.logo = Gradient(3, 2, 5);
  content.splash = Gradient(2, 1, 6);
  content.link = "ab";
  content.items = {"x", "y"};
  content.noticeShown = false;
  content.productName = "产品";
  content.noticeText = "通知";
  const std::string full = Encode(content);

  OemContent mandatory = content;
  mandatory.noticeShown = true;
  mandatory.productName.clear();
  mandatory.noticeText.clear();
  const std::size_t mandatoryEnd = Encode(mandatory).size();
  const std::size_t flagEnd = mandatoryEnd + 4;
  const std::size_t productNameEnd = flagEnd + 4 + 4 + 8 * 4;  // an empty text, then 4 GBK bytes
  ASSERT_LT(productNameEnd, full.size());

  for (std::size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    COemData record;
    int result = record.Load(Write(std::string_view(full).substr(0, length)));
    if (length < mandatoryEnd) {
      EXPECT_EQ(result, -1);
      EXPECT_FALSE(record.logo());
      continue;
    }
    EXPECT_EQ(result, 0);
    OemContent expected = mandatory;
    expected.noticeShown = length < flagEnd;
    if (length >= productNameEnd) expected.productName = content.productName;
    if (length == full.size()) expected.noticeText = content.noticeText;
    ExpectRecord(record, expected);
  }
}

TEST_F(OemDataTest, DamagedTrailingPartIsDroppedOrCut) {
  const std::string hidden(4, '\0');
  const struct {
    const char* name;
    std::string tail;
    bool shown;
    std::string productName;
    std::string noticeText;
  } cases[] = {
      {"flag cut short", std::string(2, '\0'), true, "", ""},
      {"unused text count cut short", hidden + "\3", false, "", ""},
      {"unused text count negative", hidden + Bytes().Int(-1).Text("Name").str(), false, "", ""},
      {"unused text count overflows", hidden + Bytes().Int(0x20000000).Text("Name").str(), false, "", ""},
      {"long unused text stepped over", hidden + Bytes().Text(std::string(40, 's')).Text("Name").Text("Note").str(),
       false, "Name", "Note"},
      {"product name count huge", hidden + Bytes().Text("").Int(0x7FFFFFFF).Text("Note").str(), false, "", ""},
      {"product name cut", hidden + Bytes().Text("").Text(std::string(300, 'p')).str(), false, std::string(255, 'p'),
       ""},
      {"product name cut before a half character", hidden + Bytes().Text("").Text(std::string(254, 'p') + "\xD6\xD0").str(),
       false, std::string(254, 'p'), ""},
      {"notice text cut", hidden + Bytes().Text("").Text("Name").Text(std::string(256, 'n')).str(), false, "Name",
       std::string(255, 'n')},
      {"notice text count negative", hidden + Bytes().Text("").Text("Name").Int(-1).str(), false, "Name", ""},
      {"notice text cut short", hidden + Bytes().Text("").Text("Name").Int(5).Raw("abc").str(), false, "Name", ""},
      {"bytes after the notice text", hidden + Bytes().Text("").Text("Name").Text("Note").Raw("junk").str(), false,
       "Name", "Note"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    COemData record = LoadBytes(Bytes().Mandatory("link").str() + test.tail);
    EXPECT_EQ(record.link(), "link");
    EXPECT_EQ(record.noticeShown(), test.shown);
    EXPECT_EQ(record.productName(), test.productName);
    EXPECT_EQ(record.noticeText(), test.noticeText);
  }
}

}  // namespace
}  // namespace orvane
