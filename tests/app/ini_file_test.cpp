#include "app/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "failing_reads.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane {
namespace {
namespace fs = std::filesystem;

TEST(IniDocument, RewriteKeepsCommentsOrderAndUnknownKeys) {
  const std::string text =
      "; kept comment\n"
      "[FILE]\n"
      "Unknown=1\n"
      "PREFIX=IMG\n"
      "\n"
      "[Other]\n"
      "junk line without equals\n"
      "X=2\n";
  IniDocument document = IniDocument::Parse(text);
  EXPECT_EQ(document.Serialize(), text);
  document.Set("file", "prefix", "DOC");
  EXPECT_EQ(document.Serialize(), "; kept comment\n[FILE]\nUnknown=1\nPREFIX=DOC\n\n[Other]\njunk line without equals\nX=2\n");
}

TEST(IniDocument, SectionsAndKeysMatchWithoutCaseValuesAreTrimmed) {
  IniDocument document = IniDocument::Parse("[image]\r\n  jpgquality =  55  \r\n[IMAGE]\r\nJPGQuality=99\r\n");
  EXPECT_EQ(document.Get("IMAGE", "JPGQuality"), "55");  // the first match wins
  EXPECT_EQ(document.Get("Image", "JPGQUALITY"), "55");
  EXPECT_FALSE(document.Get("IMAGE", "Missing"));
  EXPECT_FALSE(document.Get("Missing", "JPGQuality"));
}

TEST(IniDocument, NewKeysJoinTheirSectionNewSectionsGoLast) {
  IniDocument document = IniDocument::Parse("[A]\nx=1\n\n[B]\ny=2\n");
  document.Set("A", "z", "3");
  document.Set("C", "w", "4");
  EXPECT_EQ(document.Serialize(), "[A]\nx=1\nz=3\n\n[B]\ny=2\n[C]\nw=4\n");
}

TEST(IniDocument, ValueWithLineBreakCannotAddLines) {
  IniDocument document;
  document.Set("WaterMark", "Name", "first\n[FILE]\nPREFIX=x");
  EXPECT_EQ(document.Serialize(), "[WaterMark]\nName=first [FILE] PREFIX=x\n");
  EXPECT_FALSE(IniDocument::Parse(document.Serialize()).Get("FILE", "PREFIX"));
}

TEST(IniDocument, ByteOrderMarkIsIgnored) {
  EXPECT_EQ(IniDocument::Parse("\xEF\xBB\xBF[FILE]\nPREFIX=A\n").Get("FILE", "PREFIX"), "A");
}

TEST(CIniFile, PathIsKeptOnlyForAnExistingFile) {
  testing::TempFolder folder;
  CIniFile ini;
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "Sys.ini", "[S]\nk=v\n"));
  ASSERT_TRUE(ini.SetPath(folder / "Sys.ini"));
  EXPECT_FALSE(ini.SetPath(folder / "missing.ini"));
  EXPECT_EQ(ini.GetPath(), folder / "Sys.ini");
  EXPECT_EQ(ini.ReadString("s", "K"), "v");
  EXPECT_EQ(ini.ReadString("s", "none"), "");
}

TEST(CIniFile, WriteWithoutOverwriteCreatesNoKey) {
  testing::TempFolder folder;
  ASSERT_TRUE(platform::WriteFileAtomically(folder / "Sys.ini", "[S]\nk=v\n"));
  CIniFile ini;
  ASSERT_TRUE(ini.SetPath(folder / "Sys.ini"));
  EXPECT_TRUE(ini.WriteString("S", "new", "x", false));
  EXPECT_TRUE(ini.WriteString("S", "k", "w", false));
  EXPECT_EQ(platform::ReadWholeFile(folder / "Sys.ini"), "[S]\nk=w\n");
}

TEST(CIniFile, AFileThatCannotBeReadReadsEmptyAndIsNeverWrittenOver) {
  testing::TempFolder folder;
  const fs::path path = folder / "Sys.ini";
  ASSERT_TRUE(platform::WriteFileAtomically(path, "[S]\nk=v\n"));
  CIniFile ini;
  ASSERT_TRUE(ini.SetPath(path));
  {
    testing::FailingReads failing(path);
    EXPECT_FALSE(ini.Read());
    EXPECT_EQ(ini.ReadString("S", "k"), "");
    EXPECT_FALSE(ini.WriteString("S", "k", "w"));
  }
  EXPECT_EQ(platform::ReadWholeFile(path), "[S]\nk=v\n");
}

TEST(CIniFile, NoPathReadsEmptyAndCannotWrite) {
  CIniFile ini;
  EXPECT_EQ(ini.ReadString("S", "k"), "");
  EXPECT_FALSE(ini.WriteString("S", "k", "v"));
}

}  // namespace
}  // namespace orvane
