#include "imaging/capture_saver.h"

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tiffio.h>

#include "imaging/capture_pipeline.h"
#include "imaging/image_file.h"
#include "platform/file_io.h"
#include "qr_sheet.h"
#include "temp_folder.h"

namespace orvane::imaging {
namespace {

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;
using Names = std::set<std::string>;

const fs::path kFixtures = fs::path(__FILE__).parent_path() / "fixtures";

// A small page; with a code fixture pasted on it when one is named.
cv::Mat Sheet(const char* code = nullptr) {
  cv::Mat page(240, 200, CV_8UC3, cv::Scalar::all(255));
  cv::rectangle(page, {20, 200, 160, 10}, cv::Scalar::all(0), cv::FILLED);
  if (code != nullptr) {
    cv::Mat qr = cv::imread((kFixtures / code).string(), cv::IMREAD_COLOR);
    EXPECT_FALSE(qr.empty()) << code;
    qr.copyTo(page(cv::Rect(cv::Point(20, 20), qr.size())));
  }
  return page;
}

class SaveCaptures : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRememberedBarcodeFolder({});
    SetCaptureMessageHandler([this](const CaptureMessage& m) { messages.push_back(m); });
    settings.currentStorageFolder = folder.path();
    settings.storageFolder = folder.path();
  }
  void TearDown() override {
    SetCaptureMessageHandler(nullptr);
    SetRememberedBarcodeFolder({});
  }

  Paths Save(const std::vector<cv::Mat>& pictures, const std::string& base = "IMG00007",
             bool replaceConfirmed = false) {
    CCaptureImageHelper helper(2);
    helper.SetSettings(settings);
    helper.SetReplaceConfirmed(replaceConfirmed);
    Paths saved;
    EXPECT_EQ(helper.SaveCaptures(pictures, folder / base, saved), 0);
    collected = helper.CollectedCodes();
    return saved;
  }

  Names Files(const fs::path& where) const {
    Names names;
    for (const auto& entry : fs::directory_iterator(where)) names.insert(entry.path().filename().string());
    return names;
  }

  testing::TempFolder folder;
  CSysParam settings;
  std::vector<CaptureMessage> messages;
  std::vector<std::string> collected;
};

TEST_F(SaveCaptures, FormatAndColourModeChooseTheFiles) {
  struct Case {
    int format;
    int colorMode;
    const char* listed;
    Names files;
  } cases[] = {
      {0, 0, "IMG00007.jpg", {"IMG00007.jpg"}},
      {0, 2, "IMG00007.tif", {"IMG00007.tif"}},
      {1, 0, "IMG00007.BMP", {"IMG00007.BMP"}},
      {2, 2, "IMG00007.jpg", {"IMG00007.jpg"}},
      {3, 1, "IMG00007.PNG", {"IMG00007.PNG"}},
      {4, 0, "IMG00007.TIF", {"IMG00007.TIF"}},
      {4, 2, "IMG00007.tif", {"IMG00007.tif"}},
      {5, 0, "IMG00007.GIF", {"IMG00007.GIF"}},
      {6, 0, "IMG00007.tga", {"IMG00007.tga"}},
      {7, 3, "IMG00007.ras", {"IMG00007.ras"}},
  };
  cv::Mat bw(40, 30, CV_8UC1, cv::Scalar(255));
  bw(cv::Rect(0, 0, 10, 10)).setTo(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "format " << c.format << ", colour mode " << c.colorMode);
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
    settings.imageFormat = c.format;
    settings.colorMode = c.colorMode;
    Paths saved = Save({c.colorMode == 2 ? bw : Sheet()});
    EXPECT_EQ(saved, Paths{folder / c.listed});
    EXPECT_EQ(Files(folder.path()), c.files);
  }
  // The black-and-white ".tif" is a 1-bit page.
  TIFF* tiff = TIFFOpen((folder / "IMG00007.tif").c_str(), "r");
  if (tiff == nullptr) {
    settings.imageFormat = 0;
    settings.colorMode = 2;
    Save({bw});
    tiff = TIFFOpen((folder / "IMG00007.tif").c_str(), "r");
  }
  ASSERT_NE(tiff, nullptr);
  std::uint16_t bits = 0;
  TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFClose(tiff);
  EXPECT_EQ(bits, 1);
}

TEST_F(SaveCaptures, SeveralPicturesGetNumberedAndFailuresAreNotListed) {
  Paths saved = Save({Sheet(), cv::Mat(), Sheet()});
  EXPECT_EQ(saved, (Paths{folder / "IMG00007_00.jpg", folder / "IMG00007_02.jpg"}));
}

TEST_F(SaveCaptures, ExistingGifIsKeptAndThePictureTakesTheNextFreeName) {
  settings.imageFormat = 5;
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "IMG00007.GIF", "earlier"));
  Paths saved = Save({Sheet()});
  EXPECT_EQ(saved, Paths{folder / "IMG00007-2.GIF"});
  EXPECT_EQ(platform::ReadWholeFile(folder / "IMG00007.GIF"), "earlier");
  EXPECT_FALSE(fs::exists(folder / "IMG00007.jpg"));
}

// Names are chosen before the pictures are written: by then another capture, or an earlier one
// in another folder, may hold the name. Nothing there is replaced and no picture is dropped.
TEST_F(SaveCaptures, ANameTakenBeforeTheWriteMovesOnToAFreeOne) {
  struct Case {
    const char* what;
    int format;
    int pictures;
    Names before;
    Paths listed;
  } cases[] = {
      {"one picture", 0, 1, {"IMG00007.jpg"}, {"IMG00007-2.jpg"}},
      {"the writer of BMP files", 1, 1, {"IMG00007.BMP", "IMG00007-2.BMP"}, {"IMG00007-3.BMP"}},
      {"the pictures of one capture", 0, 2, {"IMG00007_00.jpg"}, {"IMG00007-2_00.jpg", "IMG00007_01.jpg"}},
      {"a thumbnail beside", 7, 1, {"IMG00007.ras"}, {"IMG00007-2.ras"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
    for (const std::string& name : c.before) ASSERT_TRUE(platform::WriteFileAtomically(folder / name, "earlier"));
    settings.imageFormat = c.format;
    Paths listed;
    for (const fs::path& name : c.listed) listed.push_back(folder / name);
    EXPECT_EQ(Save(std::vector<cv::Mat>(c.pictures, Sheet())), listed);
    for (const std::string& name : c.before) EXPECT_EQ(platform::ReadWholeFile(folder / name), "earlier");
    EXPECT_TRUE(messages.empty());
  }
}

// The formats that are no JPEG file of their own never touch a ".jpg" of the same name: an
// unrelated picture there is kept byte for byte, whether the format's own name is free, taken, or
// confirmed to be replaced, and nothing but the listed file is added.
TEST_F(SaveCaptures, AJpegOfTheSameNameIsNeverTouchedByTheOtherFormats) {
  struct Case {
    const char* what;
    Names before;
    bool replaceConfirmed;
    const char* listed;
  } cases[] = {
      {"free", {}, false, "scan"},
      {"taken", {"scan"}, false, "scan-2"},
      {"taken twice", {"scan", "scan-2"}, false, "scan-3"},
      {"replaced", {"scan"}, true, "scan"},
  };
  for (const auto& [format, extension] : {std::pair{5, ".GIF"}, std::pair{6, ".tga"}, std::pair{7, ".ras"}}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(extension) + ", " + c.what);
      for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
      ASSERT_TRUE(platform::WriteFileAtomically(folder / "scan.jpg", "unrelated"));
      ASSERT_TRUE(platform::WriteFileAtomically(folder / "scan-2.jpg", "unrelated too"));
      Names expected{"scan.jpg", "scan-2.jpg"};
      for (const std::string& name : c.before) {
        ASSERT_TRUE(platform::WriteFileAtomically(folder / (name + extension), "earlier"));
        expected.insert(name + extension);
      }
      expected.insert(std::string(c.listed) + extension);
      settings.imageFormat = format;
      const Paths saved = Save({Sheet()}, "scan", c.replaceConfirmed);
      EXPECT_EQ(saved, Paths{folder / (std::string(c.listed) + extension)});
      EXPECT_EQ(Files(folder.path()), expected);
      EXPECT_EQ(platform::ReadWholeFile(folder / "scan.jpg"), "unrelated");
      EXPECT_EQ(platform::ReadWholeFile(folder / "scan-2.jpg"), "unrelated too");
      if (!saved.empty()) {
        EXPECT_EQ(LoadImageFile(saved[0]).size(), Sheet().size());
      }
    }
  }
}

TEST_F(SaveCaptures, PagesInACodesFolderGetANameFreeInThatFolder) {
  settings.recognizeBarcode = true;
  settings.barcodeFolders = true;
  settings.imageFormat = 6;
  ASSERT_TRUE(fs::create_directory(folder / "BOX7"));
  // An earlier page of that name and number.
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "BOX7" / "IMG00008.tga", "earlier"));
  SetRememberedBarcodeFolder("BOX7");
  EXPECT_EQ(Save({Sheet()}, "IMG00008"), Paths{folder / "BOX7" / "IMG00008-2.tga"});
  EXPECT_EQ(Files(folder / "BOX7"), (Names{"IMG00008.tga", "IMG00008-2.tga"}));
  EXPECT_EQ(platform::ReadWholeFile(folder / "BOX7" / "IMG00008.tga"), "earlier");
}

TEST_F(SaveCaptures, OnlyAConfirmedFreeNameReplacesItsFileAndNeverAReadOnlyOne) {
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "page.jpg", "earlier"));
  EXPECT_EQ(Save({Sheet()}, "page", true), Paths{folder / "page.jpg"});
  EXPECT_NE(platform::ReadWholeFile(folder / "page.jpg"), "earlier");

  fs::permissions(folder / "page.jpg", fs::perms::owner_read);
  const auto kept = platform::ReadWholeFile(folder / "page.jpg");
  EXPECT_TRUE(Save({Sheet()}, "page", true).empty());
  EXPECT_EQ(platform::ReadWholeFile(folder / "page.jpg"), kept);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "The file could not be saved: " + (folder / "page.jpg").string());
  EXPECT_EQ(messages[0].icon, MessageIcon::kError);
}

// A code names a file only when every name it leads to can be written: the picture's number, a
// free suffix and the extension must fit in a file name. zbar reads byte 0xFF as two bytes.
TEST_F(SaveCaptures, ACodeTooLongForAFileNameGivesTheNormalNameAndSaysSo) {
  settings.recognizeBarcode = true;
  const std::string longest(kMaxFileNameBytes - kBaseNameReserve, 'x');
  struct Case {
    std::string code;
    bool named;
  } cases[] = {{longest, true}, {longest + "x", false}, {std::string(124, '\xFF'), false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code.size());
    messages.clear();
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove(entry.path());
    const cv::Mat sheet = testing::QrSheet(c.code);
    ASSERT_FALSE(sheet.empty());
    // Twice, so the second sheet of the code needs a free suffix.
    for (int sheetNumber = 0; sheetNumber < 2; ++sheetNumber) {
      const Paths saved = Save({sheet, sheet});
      ASSERT_EQ(saved.size(), 2u);
      EXPECT_EQ(saved[0].filename().string().substr(0, 1), c.named ? "x" : "I");
    }
    if (c.named) {
      EXPECT_TRUE(messages.empty());
    } else {
      ASSERT_EQ(messages.size(), 2u);
      EXPECT_EQ(messages[0].text, "Barcode/QR-code is too long to be used as file name");
    }
  }
}

TEST_F(SaveCaptures, BarcodeNamesTheFileOnlyWhenItIsASafeName) {
  settings.recognizeBarcode = true;
  struct Case {
    const char* code;
    const char* listed;
    bool refused;
  } cases[] = {
      {"qr_ascii.png", "INV-2024-001.jpg", false},
      {"qr_slash.png", "IMG00007.jpg", true},
      {"qr_dotdot.png", "IMG00007.jpg", true},
      {"qr_colon.png", "IMG00007.jpg", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    messages.clear();
    for (const auto& entry : fs::directory_iterator(folder.path())) fs::remove_all(entry.path());
    EXPECT_EQ(Save({Sheet(c.code)}), Paths{folder / c.listed});
    ASSERT_EQ(messages.size(), c.refused ? 1u : 0u);
    if (c.refused) {
      EXPECT_EQ(messages[0].text, "Barcode/QR-code contains special characters so that can not be used as file name");
      EXPECT_EQ(messages[0].icon, MessageIcon::kError);
    }
    EXPECT_EQ(Files(folder.path()), Names{c.listed});
  }
}

TEST_F(SaveCaptures, SameCodeOnTwoSheetsKeepsBothFiles) {
  settings.recognizeBarcode = true;
  ASSERT_EQ(Save({Sheet("qr_ascii.png")}), Paths{folder / "INV-2024-001.jpg"});
  const auto first = platform::ReadWholeFile(folder / "INV-2024-001.jpg");
  EXPECT_EQ(Save({Sheet("qr_ascii.png")}), Paths{folder / "INV-2024-001_00.jpg"});
  EXPECT_EQ(Save({Sheet("qr_ascii.png")}), Paths{folder / "INV-2024-001_01.jpg"});
  EXPECT_EQ(platform::ReadWholeFile(folder / "INV-2024-001.jpg"), first);
}

TEST_F(SaveCaptures, NoCodeFoundTellsTheUser) {
  settings.recognizeBarcode = true;
  EXPECT_EQ(Save({Sheet()}), Paths{folder / "IMG00007.jpg"});
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "It does not recognize a barcode/QR-code");
}

TEST_F(SaveCaptures, SeparatorSheetsChooseTheFolderOfTheFollowingPages) {
  settings.recognizeBarcode = true;
  settings.barcodeFolders = true;
  const std::string folderMessage = "重复的条码或含有特殊字符不能作为目录";

  EXPECT_TRUE(Save({Sheet("qr_box7.png")}).empty());  // the sheet itself is not saved
  EXPECT_TRUE(fs::is_directory(folder / "BOX7"));
  EXPECT_EQ(RememberedBarcodeFolder(), "BOX7");
  EXPECT_TRUE(messages.empty());

  EXPECT_EQ(Save({Sheet()}, "IMG00008"), Paths{folder / "BOX7" / "IMG00008.jpg"});
  EXPECT_TRUE(messages.empty());  // no code on a page is normal here

  EXPECT_TRUE(Save({Sheet("qr_box7.png")}).empty());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, folderMessage);
  EXPECT_EQ(messages[0].caption, "提示");
  EXPECT_EQ(RememberedBarcodeFolder(), "BOX7");

  EXPECT_TRUE(Save({Sheet("qr_colon.png")}).empty());
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(RememberedBarcodeFolder(), "");
  EXPECT_EQ(Save({Sheet()}, "IMG00009"), Paths{folder / "IMG00009.jpg"});
  EXPECT_EQ(Files(folder.path()), (Names{"BOX7", "IMG00009.jpg"}));
}

TEST_F(SaveCaptures, TextFileHoldsEscapedJsonBesideNormallyNamedPictures) {
  settings.recognizeBarcode = true;
  settings.barcodeTextFile = true;
  EXPECT_EQ(Save({Sheet("qr_ascii.png"), Sheet("qr_quote.png")}),
            (Paths{folder / "IMG00007_00.jpg", folder / "IMG00007_01.jpg"}));
  EXPECT_EQ(platform::ReadWholeFile(folder / "IMG00007.txt"),
            R"({"Code":[{"QR-Code":"INV-2024-001"},{"QR-Code":"say \"hi\" \\ ok"}]})");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "Barcode/QR-code saved in " + (folder / "IMG00007.txt").string() + " !");
  EXPECT_EQ(messages[0].icon, MessageIcon::kInformation);
}

TEST_F(SaveCaptures, CollectingKeepsOnlySafeCodesSilently) {
  settings.recognizeBarcode = true;
  settings.merge = true;
  EXPECT_EQ(Save({Sheet("qr_ascii.png"), Sheet("qr_slash.png"), Sheet()}).size(), 3u);
  EXPECT_EQ(collected, std::vector<std::string>{"INV-2024-001"});
  EXPECT_TRUE(messages.empty());
}

TEST(BuildCodeJson, ExactTextAndEscapes) {
  EXPECT_EQ(BuildCodeJson({"QR-Code", "abc"}), R"({"Code":[{"QR-Code":"abc"}]})");
  EXPECT_EQ(BuildCodeJson({"QR-Code", "abc"})->size(), 28u);
  EXPECT_EQ(BuildCodeJson({"CODE-128", std::string("a\0b\n", 4)}),
            R"({"Code":[{"CODE-128":"a\u0000b\n"}]})");
  EXPECT_FALSE(BuildCodeJson({}));
}

TEST(IsValidBarcodeName, RefusesNamesThatLeaveTheFolderOrCannotBeStored) {
  for (const char* good : {"INV-2024-001", "BOX7", "发票", "a b", ".hidden"}) {
    EXPECT_TRUE(IsValidBarcodeName(good)) << good;
  }
  const std::vector<std::string> badNames = {"", ".", "..", "A/B", "A\\B", "A:1", "a*", "a?", "<a>", "a|b", "say \"x\"",
                          "tab\t", "dot.", "space ", std::string("nul\0x", 5), std::string(243, 'a')};
  for (const std::string& bad : badNames) {
    EXPECT_FALSE(IsValidBarcodeName(bad)) << bad;
  }
  EXPECT_TRUE(IsValidBarcodeName(std::string(242, 'a')));
}

}  // namespace
}  // namespace orvane::imaging
