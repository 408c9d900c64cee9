#include <gtest/gtest.h>

#include <fstream>

#include "app/sys_param.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane {
namespace {
namespace fs = std::filesystem;

std::tm At(int year, int month, int day, int hour, int minute, int second) {
  std::tm time{};
  time.tm_year = year - 1900;
  time.tm_mon = month - 1;
  time.tm_mday = day;
  time.tm_hour = hour;
  time.tm_min = minute;
  time.tm_sec = second;
  return time;
}

class Naming : public ::testing::Test {
 protected:
  Naming() {
    settings_.currentStorageFolder = folder_.path();
    hooks_.localTime = [] { return At(2026, 12, 10, 9, 30, 5); };
  }
  void Touch(const std::string& name) { std::ofstream(folder_ / name) << "picture"; }

  testing::TempFolder folder_;
  CSysParam settings_;
  NamingHooks hooks_;
};

struct NameCase {
  const char* name;
  int mode;
  int index;
  const char* expected;  // relative to the storage folder; empty for no name
};

class NameTable : public Naming, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameTable, BuildsNameOfTheMode) {
  const NameCase& c = GetParam();
  settings_.namingMode = c.mode;
  settings_.runningIndex = c.index;
  hooks_.askFreeName = [](int, const fs::path&, const std::string&) { return std::optional<std::string>("page one"); };
  const fs::path expected = *c.expected ? folder_ / c.expected : fs::path();
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), expected);
}

INSTANTIATE_TEST_SUITE_P(Modes, NameTable,
                         ::testing::Values(NameCase{"PrefixAndIndex", 0, 7, "IMG00007"},
                                           NameCase{"SixDigitIndex", 0, 123456, "IMG123456"},
                                           NameCase{"DateAndTime", 1, 0, "20261210093005"},
                                           NameCase{"FreeName", 2, 0, "page one"},
                                           NameCase{"UnknownMode", 3, 0, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Naming, FreeNamePromptGetsLanguageFolderAndExtensionCancelGivesEmpty) {
  settings_.namingMode = 2;
  settings_.language = 2;
  settings_.imageFormat = 3;
  std::string askedExtension;
  hooks_.askFreeName = [&](int language, const fs::path& folder, const std::string& extension) {
    EXPECT_EQ(language, 2);
    EXPECT_EQ(folder, folder_.path());
    askedExtension = extension;
    return std::optional<std::string>();
  };
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), fs::path());
  EXPECT_EQ(askedExtension, "PNG");
  settings_.BuildFileName("PDF", hooks_);
  EXPECT_EQ(askedExtension, "PDF");
}

TEST_F(Naming, UnsafeFreeNamesAndPrefixesAreRefused) {
  for (const char* bad : {"a/b", "..", "../x", "tab\there", "a:b", "a*b", "a?b", "a\"b", "a<b", "a|b", "a\\b", ""}) {
    settings_.namingMode = 2;
    hooks_.askFreeName = [&](int, const fs::path&, const std::string&) { return std::optional<std::string>(bad); };
    EXPECT_EQ(settings_.BuildFileName({}, hooks_), fs::path()) << bad;
    settings_.namingMode = 0;
    settings_.prefix = bad;
    EXPECT_EQ(settings_.BuildFileName({}, hooks_), fs::path()) << bad;
  }
}

TEST_F(Naming, ExistingNamesGetAFreeSuffix) {
  settings_.namingMode = 1;
  Touch("20261210093005.JPG");
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), folder_ / "20261210093005-2");
  Touch("20261210093005-2_01.jpg");  // a sibling of a two-camera capture counts too
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), folder_ / "20261210093005-3");

  settings_.namingMode = 0;
  settings_.runningIndex = 0;
  Touch("IMG00000.pdf");
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), folder_ / "IMG00000-2");
  Touch("IMG000001.jpg");  // a longer number is another name
  settings_.runningIndex = 1;
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), folder_ / "IMG00001");
}

TEST_F(Naming, TempNameIsDatedAndFree) {
  EXPECT_EQ(settings_.BuildTempFileName(hooks_), folder_ / "Tmp20261210093005");
  Touch("Tmp20261210093005.jpg");
  EXPECT_EQ(settings_.BuildTempFileName(hooks_), folder_ / "Tmp20261210093005-2");
}

TEST_F(Naming, MissingStorageFolderIsCreated) {
  settings_.currentStorageFolder = folder_ / "gone" / "20261210";
  settings_.namingMode = 1;
  EXPECT_EQ(settings_.BuildFileName({}, hooks_), folder_ / "gone" / "20261210" / "20261210093005");
  EXPECT_TRUE(fs::is_directory(folder_ / "gone" / "20261210"));
}

TEST(ImageExtension, ByFormatAndColourMode) {
  const struct {
    int format;
    int colour;
    const char* extension;
  } cases[] = {{0, 0, "JPG"}, {0, 2, "TIF"}, {1, 2, "BMP"}, {2, 2, "JPG"}, {3, 0, "PNG"}, {4, 0, "TIF"},
               {5, 0, "GIF"}, {6, 0, "TGA"}, {7, 0, "RAS"}, {8, 0, ""},    {-1, 0, ""}};
  for (const auto& c : cases) {
    CSysParam settings;
    settings.imageFormat = c.format;
    settings.colorMode = c.colour;
    EXPECT_EQ(settings.GetImageExtension(), c.extension) << c.format << "/" << c.colour;
  }
}

TEST(WatermarkText, BySwitches) {
  NamingHooks hooks;
  hooks.localTime = [] { return At(2026, 1, 2, 3, 4, 5); };
  const struct {
    bool date;
    bool custom;
    const char* text;
    const char* expected;
  } cases[] = {{true, false, "x", "2026/01/02-03:04:05"},
               {false, true, "Archiv", "Archiv"},
               {true, true, "", "2026/01/02-03:04:05 "},
               {true, true, "Archiv", "2026/01/02-03:04:05 Archiv"},
               {false, false, "Archiv", ""}};
  for (const auto& c : cases) {
    CSysParam settings;
    settings.dateWatermark = c.date;
    settings.customWatermark = c.custom;
    settings.watermarkText = c.text;
    EXPECT_EQ(settings.GetWatermarkText(hooks), c.expected);
  }
}

TEST(Folders, ExistsWithTrailingSlashAndCreatesEveryLevel) {
  testing::TempFolder folder;
  EXPECT_TRUE(FolderExists(folder.path().string() + "/"));
  EXPECT_FALSE(FolderExists(folder / "none"));
  EXPECT_FALSE(FolderExists(""));
  EXPECT_TRUE(CreateFolderPath(folder / "a" / "b" / "c"));
  EXPECT_TRUE(fs::is_directory(folder / "a" / "b" / "c"));
  EXPECT_TRUE(CSysParam::CreateFolderChain(folder / "x" / "y" / "file.jpg"));
  EXPECT_TRUE(fs::is_directory(folder / "x" / "y"));
  EXPECT_FALSE(fs::exists(folder / "x" / "y" / "file.jpg"));
}

TEST(Folders, StartUpResolvesTheDateSubFolder) {
  testing::TempFolder folder;
  CSysParam settings;
  settings.storageFolder = folder / "Calvest";
  settings.dateFolder = true;
  EXPECT_TRUE(settings.ResolveStorageFolders(At(2026, 12, 31, 23, 59, 59)));
  EXPECT_EQ(settings.currentStorageFolder, folder / "Calvest" / "20261231");
  EXPECT_TRUE(fs::is_directory(settings.currentStorageFolder));
  settings.dateFolder = false;
  EXPECT_TRUE(settings.ResolveStorageFolders(At(2027, 1, 1, 0, 0, 0)));
  EXPECT_EQ(settings.currentStorageFolder, folder / "Calvest");
}

TEST(Folders, DefaultStorageFolderFallsBackWhenPicturesCannotBeMade) {
  testing::TempFolder folder;
  testing::ScopedEnvironment data("XDG_DATA_HOME", (folder / "data").string());
  {
    testing::ScopedEnvironment pictures("XDG_PICTURES_DIR", (folder / "pictures").string());
    EXPECT_EQ(CSysParam::GetDefaultStorageFolder(), folder / "pictures" / "Calvest");
  }
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "blocked", "a file, not a folder"));
  testing::ScopedEnvironment pictures("XDG_PICTURES_DIR", (folder / "blocked").string());
  EXPECT_EQ(CSysParam::GetDefaultStorageFolder(), folder / "data" / "Calvest");
}

TEST(Folders, CommonDataFolderIsMadeAndBecomesTheWorkingFolder) {
  testing::TempFolder folder;
  const fs::path before = fs::current_path();
  testing::ScopedEnvironment data("XDG_DATA_HOME", folder.path().string());
  const fs::path common = GetCommonDataFolder();
  const fs::path working = fs::current_path();
  fs::current_path(before);
  EXPECT_EQ(common, folder / "Morvath Software");
  EXPECT_EQ(working, folder / "Morvath Software");
}

}  // namespace
}  // namespace orvane
