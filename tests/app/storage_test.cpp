#include <gtest/gtest.h>

#include <fstream>
#include <vector>

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
  std::vector<NameRefusal> told;
  hooks_.nameRefused = [&](const NameRefusal& refusal) { told.push_back(refusal); };
  for (const char* bad : {"a/b", "..", "../x", "tab\there", "a:b", "a*b", "a?b", "a\"b", "a<b", "a|b", "a\\b", ""}) {
    told.clear();
    settings_.namingMode = 2;
    hooks_.askFreeName = [&](int, const fs::path&, const std::string&) { return std::optional<std::string>(bad); };
    EXPECT_EQ(settings_.BuildFileName({}, hooks_), fs::path()) << bad;
    settings_.namingMode = 0;
    settings_.prefix = bad;
    EXPECT_EQ(settings_.BuildFileName({}, hooks_), fs::path()) << bad;
    ASSERT_EQ(told.size(), 2u) << bad;
    EXPECT_FALSE(told[0].prefix);
    EXPECT_TRUE(told[1].prefix);
    EXPECT_EQ(told[1].reason, NameRefusal::Reason::kUnsafeCharacters);
    EXPECT_EQ(told[1].name, bad);
  }
}

// A refused name is no Cancel: the user hears why, in the settings' language, and a name too
// long to take a picture's number, a free suffix and an extension is refused as well.
TEST_F(Naming, RefusedNamesAreExplainedInTheUsersLanguage) {
  const std::string longest(kMaxFileNameBytes - kBaseNameReserve, 'n');
  struct Case {
    int mode;
    std::string name;  // the prefix or the free name
    int language;
    const char* message;  // empty: accepted
  } cases[] = {
      {2, "a/b", 2, "The file name \"a/b\" contains characters that cannot be used in a file name"},
      {0, "a:b", 0, "文件名前缀“a:b”中含有不能用于文件名的字符"},
      {2, longest, 1, ""},
      {2, longest + "n", 1, "檔案名「"},
      {0, longest.substr(5), 2, ""},  // with its five digits, exactly as long as a name may be
      {0, longest.substr(4), 2, "The file name prefix \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name.substr(0, 20) + " in mode " + std::to_string(c.mode));
    std::vector<NameRefusal> told;
    hooks_.nameRefused = [&](const NameRefusal& refusal) { told.push_back(refusal); };
    hooks_.askFreeName = [&](int, const fs::path&, const std::string&) { return std::optional<std::string>(c.name); };
    settings_.namingMode = c.mode;
    settings_.prefix = c.name;
    settings_.language = c.language;
    const fs::path name = settings_.BuildFileName({}, hooks_);
    if (*c.message == '\0') {
      EXPECT_FALSE(name.empty());
      EXPECT_TRUE(told.empty());
      continue;
    }
    EXPECT_TRUE(name.empty());
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].message.rfind(c.message, 0), 0u) << told[0].message;
    EXPECT_EQ(told[0].reason, c.name.size() > 200 ? NameRefusal::Reason::kTooLong
                                                  : NameRefusal::Reason::kUnsafeCharacters);
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
