#include "branding/oem_writer.h"

#include <gtest/gtest.h>

#include <functional>

#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane::branding {
namespace {

using namespace std::string_literals;

OemContent OnePixelLogo() {
  OemContent content;
  content.logo = BgrPicture{1, 1, {1, 2, 3}};
  return content;
}

std::uint32_t Uint32At(const std::string& bytes, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;) value = value << 8 | static_cast<unsigned char>(bytes.at(offset + i));
  return value;
}

std::string Encode(const OemContent& content) {
  std::string error;
  auto bytes = EncodeOemData(content, error);
  EXPECT_TRUE(bytes) << error;
  return bytes.value_or("");
}

TEST(OemWriter, MinimalFileHasOnlyTheMandatoryParts) {
  // Logo height and width, one padded row, empty link, no splash, no items.
  const std::string expected = "\1\0\0\0" "\1\0\0\0" "\1\2\3\0" "\0\0\0\0" "\0\0\0\0" "\0\0\0\0"s;
  EXPECT_EQ(Encode(OnePixelLogo()), expected);
}

TEST(OemWriter, PictureRowsArePaddedToFourBytes) {
  OemContent content = OnePixelLogo();
  content.logo = BgrPicture{129, 2, std::vector<std::uint8_t>(129 * 2 * 3, 0xAA)};
  content.logo.pixels[387] = 0xBB;  // first byte of the second row
  content.splash = BgrPicture{2, 1, {1, 2, 3, 4, 5, 6}};
  const std::string bytes = Encode(content);

  ASSERT_EQ(bytes.size(), 8 + 2 * 388 + 4 + (8 + 8) + 4);
  EXPECT_EQ(bytes[8 + 386], '\xAA');
  EXPECT_EQ(bytes[8 + 387], '\0');
  EXPECT_EQ(bytes[8 + 388], '\xBB');
  EXPECT_EQ(bytes.substr(8 + 2 * 388 + 4, 16), "\1\0\0\0" "\2\0\0\0" "\1\2\3\4\5\6\0\0"s);
}

TEST(OemWriter, TextIsGbkScrambledAsDifferences) {
  OemContent content = OnePixelLogo();
  content.link = "中a";
  const std::string bytes = Encode(content);

  const std::size_t link = 12;
  ASSERT_EQ(Uint32At(bytes, link), 3u);
  std::string text;
  for (std::size_t i = 0; i < 3; ++i) {
    std::uint32_t a = Uint32At(bytes, link + 4 + 4 * i);
    std::uint32_t b = Uint32At(bytes, link + 4 + 12 + 4 * i);
    text.push_back(static_cast<char>((b - a) & 0xFF));
  }
  EXPECT_EQ(text, "\xD6\xD0" "a");
  EXPECT_NE(Uint32At(bytes, link + 4), Uint32At(bytes, link + 8)) << "A values should vary";
  EXPECT_EQ(Encode(content), bytes) << "the same content should give the same file";
}

TEST(OemWriter, TrailingPartsOnlyAsFarAsNeeded) {
  const std::size_t mandatory = 24;
  const struct {
    const char* name;
    bool shown;
    const char* productName;
    const char* noticeText;
    std::string tail;  // what follows the mandatory parts, up to the product name's A values
  } cases[] = {
      {"defaults", true, "", "", ""},
      {"hidden notice line", false, "", "", "\0\0\0\0"s},
      {"product name", true, "P", "", "\1\0\0\0" "\0\0\0\0" "\1\0\0\0"s},
      {"notice text alone", true, "", "N", "\1\0\0\0" "\0\0\0\0" "\0\0\0\0" "\1\0\0\0"s},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    OemContent content = OnePixelLogo();
    content.noticeShown = test.shown;
    content.productName = test.productName;
    content.noticeText = test.noticeText;
    const std::string bytes = Encode(content);
    EXPECT_EQ(bytes.substr(mandatory, test.tail.size()), test.tail);
    const bool endsWithText = *test.productName || *test.noticeText;
    EXPECT_EQ(bytes.size(), mandatory + test.tail.size() + (endsWithText ? 8 : 0));
  }
}

TEST(OemWriter, RefusesContentThatWouldNotReadBack) {
  const struct {
    const char* name;
    std::function<void(OemContent&)> change;
    const char* error;  // part of the reason
  } cases[] = {
      {"empty logo", [](OemContent& c) { c.logo = {}; }, "logo"},
      {"logo pixels short", [](OemContent& c) { c.logo.pixels.pop_back(); }, "logo"},
      {"empty splash", [](OemContent& c) { c.splash = BgrPicture{}; }, "splash"},
      {"link beyond GBK", [](OemContent& c) { c.link = "a\U0001F600"; }, "GBK"},
      {"link not UTF-8", [](OemContent& c) { c.link = "\xFF"; }, "UTF-8"},
      {"product name with NUL", [](OemContent& c) { c.productName = "a\0b"s; }, "NUL"},
      {"item with semicolon", [](OemContent& c) { c.items = {"a;b"}; }, ";"},
      {"empty item", [](OemContent& c) { c.items = {"a", ""}; }, "empty"},
      {"product name over 255 GBK bytes",
       [](OemContent& c) {
         for (int i = 0; i < 128; ++i) c.productName += "中";
       },
       "255"},
      {"notice text over 255 bytes", [](OemContent& c) { c.noticeText = std::string(256, 'n'); }, "255"},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    OemContent content = OnePixelLogo();
    test.change(content);
    std::string error;
    EXPECT_FALSE(EncodeOemData(content, error));
    EXPECT_NE(error.find(test.error), std::string::npos) << error;
  }

  OemContent longest = OnePixelLogo();
  longest.productName = std::string(253, 'p') + "中";  // 256 bytes in UTF-8, 255 in GBK
  longest.noticeText = std::string(255, 'n');
  std::string error;
  EXPECT_TRUE(EncodeOemData(longest, error)) << error;
}

TEST(OemWriter, RefusedContentLeavesTheFileAsItWas) {
  testing::TempFolder folder;
  const auto target = folder / "data.dat";
  std::string error;
  ASSERT_TRUE(WriteOemData(target, OnePixelLogo(), error)) << error;

  OemContent refused = OnePixelLogo();
  refused.productName = "\U0001F600";
  EXPECT_FALSE(WriteOemData(target, refused, error));
  EXPECT_EQ(platform::ReadWholeFile(target), Encode(OnePixelLogo()));

  EXPECT_FALSE(WriteOemData(folder / "missing" / "data.dat", OnePixelLogo(), error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

}  // namespace
}  // namespace orvane::branding
