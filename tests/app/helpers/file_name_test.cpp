#include "app/helpers/string_and_file_pro.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "temp_folder.h"

namespace {

using Pro = CStringAndFilePro;
namespace fs = std::filesystem;

std::wstring Widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

struct ExtensionCase {
  std::string path;
  int code;
  std::string extension;
};

class Extension : public ::testing::TestWithParam<ExtensionCase> {};

TEST_P(Extension, BothFormsAgree) {
  const ExtensionCase& c = GetParam();
  char narrow[16] = "unchanged";
  wchar_t wide[16] = L"unchanged";
  EXPECT_EQ(Pro::GetFileExtensionName(c.path.c_str(), narrow), c.code);
  EXPECT_EQ(Pro::GetFileExtensionName(Widen(c.path).c_str(), wide), c.code);
  EXPECT_EQ(std::string(narrow), c.extension);
  EXPECT_EQ(std::wstring(wide), Widen(c.extension));
}

INSTANTIATE_TEST_SUITE_P(Paths, Extension, ::testing::Values(
    ExtensionCase{"/pictures/Page.JPG", 0, "jpg"},
    ExtensionCase{"scan.2024.TiFf", 0, "tiff"},
    ExtensionCase{"README", 0, ""},
    ExtensionCase{"trailing.", 0, ""},
    ExtensionCase{"x.abcdefghijklmno", 0, "abcdefghijklmno"},   // 15 characters fit
    ExtensionCase{"x.abcdefghijklmnop", 3, "unchanged"}));      // 16 do not

TEST(Extension, RefusesNullArguments) {
  char out[16];
  EXPECT_EQ(Pro::GetFileExtensionName(static_cast<const char*>(nullptr), out), 3);
  EXPECT_EQ(Pro::GetFileExtensionName("a.jpg", static_cast<char*>(nullptr)), 3);
}

struct FileTypeCase {
  std::string path;
  int type;
};

class FileType : public ::testing::TestWithParam<FileTypeCase> {};

TEST_P(FileType, BothFormsAgree) {
  const FileTypeCase& c = GetParam();
  EXPECT_EQ(Pro::CheckFileType(c.path.c_str()), c.type);
  EXPECT_EQ(Pro::CheckFileType(Widen(c.path).c_str()), c.type);
}

INSTANTIATE_TEST_SUITE_P(Extensions, FileType, ::testing::Values(
    FileTypeCase{"a.jpg", 0}, FileTypeCase{"a.JPEG", 0}, FileTypeCase{"a.bmp", 1}, FileTypeCase{"a.png", 2},
    FileTypeCase{"a.gif", 3}, FileTypeCase{"a.tga", 4}, FileTypeCase{"a.ras", 5}, FileTypeCase{"a.pcx", 6},
    FileTypeCase{"a.tif", 7}, FileTypeCase{"a.tiff", 7}, FileTypeCase{"a.pdf", 8}, FileTypeCase{"a.asf", 9},
    FileTypeCase{"a.avi", 10}, FileTypeCase{"a.mp4", 11}, FileTypeCase{"a.wmv", 12}, FileTypeCase{"a.txt", 13},
    FileTypeCase{"a.doc", 14}, FileTypeCase{"a.docx", 14}, FileTypeCase{"a.xls", 15},
    FileTypeCase{"a.xlsx", 15}, FileTypeCase{"a.rar", 16}, FileTypeCase{"a.zip", 16},
    FileTypeCase{"a.exe", 17},
    FileTypeCase{"noextension", -1}, FileTypeCase{"a.", -1},
    FileTypeCase{"/scans.2024/page", -1}, FileTypeCase{"/scans.2024/page.pdf", 8},
    FileTypeCase{"a.jp", -2}, FileTypeCase{"a.jpgx", -2}, FileTypeCase{"a.averyveryverylongname", -2}));

TEST(FileType, NonAsciiExtensionIsOther) {
  EXPECT_EQ(Pro::CheckFileType(L"a.jpg\u00E9"), -2);
  EXPECT_EQ(Pro::CheckFileType(static_cast<const wchar_t*>(nullptr)), -1);
}

class CheckPath : public ::testing::Test {
 protected:
  std::string Under(const std::string& relative) const { return (folder / relative).string(); }

  orvane::testing::TempFolder folder;
};

TEST_F(CheckPath, CreatesEveryMissingLevelOfTheFolder) {
  EXPECT_TRUE(Pro::CheckPath(Under("a/b/c/page.jpg").c_str()));
  EXPECT_TRUE(fs::is_directory(folder / "a/b/c"));
  EXPECT_FALSE(fs::exists(folder / "a/b/c/page.jpg"));
}

TEST_F(CheckPath, TakesAnExistingFolderAsItIs) {
  fs::create_directory(folder / "scans");
  EXPECT_TRUE(Pro::CheckPath(Under("scans").c_str()));
  EXPECT_TRUE(Pro::CheckPath(Under("scans/page.jpg").c_str()));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder / "scans"), fs::directory_iterator()), 0);
}

TEST_F(CheckPath, TrailingSlashNamesTheFolder) {
  EXPECT_TRUE(Pro::CheckPath(Under("new/").c_str()));
  EXPECT_TRUE(fs::is_directory(folder / "new"));
}

TEST_F(CheckPath, FailsWhereNoFolderCanBe) {
  std::ofstream(folder / "blocker") << "x";
  EXPECT_FALSE(Pro::CheckPath(Under("blocker/page.jpg").c_str()));
  EXPECT_FALSE(Pro::CheckPath("page.jpg"));
  EXPECT_FALSE(Pro::CheckPath(""));
  EXPECT_FALSE(Pro::CheckPath(static_cast<const char*>(nullptr)));
}

TEST_F(CheckPath, WideFormNamesFoldersInUtf8) {
  std::wstring path = Widen(folder.path().string()) + L"/扫描/page.jpg";
  EXPECT_TRUE(Pro::CheckPath(path.c_str()));
  EXPECT_TRUE(fs::is_directory(folder / "扫描"));

  const wchar_t unpaired[] = {L'/', L't', L'm', L'p', L'/', static_cast<wchar_t>(0xD800), L'/', L'x', 0};
  EXPECT_FALSE(Pro::CheckPath(unpaired));
}

}  // namespace
