#include "app/sys_param.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "failing_reads.h"
#include "platform/file_io.h"
#include "temp_folder.h"

namespace orvane {
namespace {
namespace fs = std::filesystem;

// A settings file in a fresh folder, with the default storage folder inside it too.
class SettingsFile : public ::testing::Test {
 protected:
  fs::path ini() const { return folder_ / "Sys.ini"; }
  fs::path pictures() const { return folder_ / "pictures"; }

  CSysParam LoadFrom(const std::string& text) {
    EXPECT_TRUE(platform::WriteFileAtomically(ini(), text));
    CSysParam settings;
    EXPECT_TRUE(settings.SetIniPath(ini()));
    EXPECT_TRUE(settings.Load());
    return settings;
  }
  std::string FileText() const { return platform::ReadWholeFile(ini()).value_or("<missing>"); }

  testing::TempFolder folder_;
  testing::ScopedEnvironment picturesVariable_{"XDG_PICTURES_DIR", (folder_ / "pictures").string()};
};

TEST_F(SettingsFile, FirstStartWritesEveryKeyInOrder) {
  CSysParam settings;
  ASSERT_TRUE(settings.SetIniPath(ini()));
  ASSERT_TRUE(settings.Load());
  const std::string expected =
      "[FILE]\nFOLDPATH=" + (pictures() / "Calvest").string() +
      "\nTypeofImageName=1\nPREFIX=IMG\nPRECHOOSE=IMG|TXT|JPG\n"
      "[IMAGE]\nXDPI=-1\nYDPI=-1\nREFDPI=-1.000000\nJPGQuality=70\nINDEX=0\nNoiseSize=5\n"
      "DocCamWidth=-1\nDocCamHeight=-1\nPorCamWidth=-1\nPorCamHeight=-1\nAdvCamWidth=-1\nAdvCamHeight=-1\n"
      "CutLeft=0\nCutTop=0\nCutRight=0\nCutBottom=0\nIMG_FORMAT=0\nVDO_FORMAT=0\nPDFORTIF=0\nCUTPAGETYPE=0\n"
      "SHADOW=FALSE\n2IMAGEIN1=FALSE\nISMUTICUTPAGE=FALSE\nDOCCHECK=FALSE\nBARCODETOFILE=FALSE\n"
      "DEFORMATION=FALSE\nMULTIDOC=FALSE\nCOLOR=0\nDATEFOLDER=1\nCHANNELS=false\n"
      "[SOUND]\nPlay=true\n"
      "[Camera]\nExposure=-3\nStillCapture=false\nAutoExposure=true\n"
      "[WaterMark]\nDateMark=FALSE\nCustom=FALSE\nName=\nColor=255\nPosition=4\nSize=256\nTransparency=50\n"
      "[PRINT]\nTYPE=0\n"
      "[OTHER]\nENGOCR=FALSE\nROTATION=0\nMERGE=FALSE\nRECOGNIZE=FALSE\nSRC=TRUE\nKEYFUNC=0\nMJPGMODE=FALSE\n"
      "ExtraInfo=\n"
      "[Device]\nType=-1\n"
      "[POSITION]\nDocument=0,0,100,100\nPortrait=0,0,100,100\n"
      "[Language]\nCurrent=CN\n";
  EXPECT_EQ(FileText(), expected);
}

TEST_F(SettingsFile, LoadThenSaveIsIdempotent) {
  LoadFrom("[image]\nxdpi= 300\nrotation=450\n[Other]\nrotation=450\n[FennicQt]\nCaption=Companion\n");
  const std::string once = FileText();
  CSysParam again;
  ASSERT_TRUE(again.SetIniPath(ini()));
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(FileText(), once);
  EXPECT_EQ(again.companionCaption, "Companion");  // read, and kept though never written
  EXPECT_NE(once.find("Caption=Companion"), std::string::npos);
}

// A fuzzer fed Load with random files and checked that the file it writes back reads back to the
// same record, which a second save leaves as it is; these are the files it found breaking that.
TEST_F(SettingsFile, AFileItWroteReadsBackToTheSameRecord) {
  const fs::path fixtures = fs::path(__FILE__).parent_path() / "fixtures";
  for (const char* name : {"sys_ini_cr_in_value.ini", "sys_ini_doubled_bom.ini", "sys_ini_cr_cr_line_ends.ini",
                           "sys_ini_tiny_reference_dpi.ini"}) {
    SCOPED_TRACE(name);
    const std::optional<std::string> input = platform::ReadWholeFile(fixtures / name);
    ASSERT_TRUE(input);
    const CSysParam first = LoadFrom(*input);
    const std::string written = FileText();
    CSysParam second;
    ASSERT_TRUE(second.SetIniPath(ini()));
    ASSERT_TRUE(second.Load());
    EXPECT_EQ(FileText(), written);
    EXPECT_TRUE(second == first);
  }
  // A second byte-order mark does not hide the first section.
  const CSysParam marked = LoadFrom(*platform::ReadWholeFile(fixtures / "sys_ini_doubled_bom.ini"));
  EXPECT_EQ(marked.namingMode, 0);
  EXPECT_EQ(marked.prefix, "DOC");
}

struct LoadRule {
  const char* name;
  const char* fileText;
  std::function<int(const CSysParam&)> field;
  int expected;
};

class LoadRules : public SettingsFile, public ::testing::WithParamInterface<LoadRule> {};

TEST_P(LoadRules, ValueReadsAsExpected) {
  const LoadRule& rule = GetParam();
  EXPECT_EQ(rule.field(LoadFrom(rule.fileText)), rule.expected) << rule.fileText;
}

const auto kNaming = [](const CSysParam& s) { return s.namingMode; };
const auto kRotation = [](const CSysParam& s) { return s.rotation; };
const auto kNoise = [](const CSysParam& s) { return s.noiseSize; };
const auto kQuality = [](const CSysParam& s) { return s.jpegQuality; };
const auto kXDpi = [](const CSysParam& s) { return s.xDpi; };
const auto kColor = [](const CSysParam& s) { return s.colorMode; };
const auto kLanguage = [](const CSysParam& s) { return s.language; };

INSTANTIATE_TEST_SUITE_P(
    Table, LoadRules,
    ::testing::Values(
        LoadRule{"NamingSeven", "[FILE]\nTypeofImageName=7\n", kNaming, 2},
        LoadRule{"NamingZero", "[FILE]\nTypeofImageName=0\n", kNaming, 0},
        LoadRule{"NamingMissing", "", kNaming, 1},
        LoadRule{"Rotation45", "[OTHER]\nROTATION=45\n", kRotation, 0},
        LoadRule{"Rotation270", "[OTHER]\nROTATION=270\n", kRotation, 270},
        LoadRule{"MixedCaseKey", "[other]\nRotation=90\n", kRotation, 90},
        LoadRule{"ImageFormatNine", "[IMAGE]\nIMG_FORMAT=9\n", [](const CSysParam& s) { return s.imageFormat; }, 0},
        // 2 is the WMV name the settings window offers.
        LoadRule{"VideoFormatTwo", "[IMAGE]\nVDO_FORMAT=2\n", [](const CSysParam& s) { return s.videoFormat; }, 2},
        LoadRule{"VideoFormatThree", "[IMAGE]\nVDO_FORMAT=3\n", [](const CSysParam& s) { return s.videoFormat; }, 0},
        LoadRule{"ShadowLowerCase", "[IMAGE]\nSHADOW=true\n", [](const CSysParam& s) { return int(s.shadowRemoval); }, 0},
        LoadRule{"StillCaptureUpperCase", "[Camera]\nStillCapture=TRUE\n",
                 [](const CSysParam& s) { return int(s.stillCapture); }, 0},
        LoadRule{"PlayMissing", "", [](const CSysParam& s) { return int(s.shutterSound); }, 1},
        LoadRule{"SourcesMissing", "", [](const CSysParam& s) { return int(s.keepMergeSources); }, 1},
        LoadRule{"PictureInPictureMissing", "", [](const CSysParam& s) { return int(s.pictureInPicture); }, 0},
        LoadRule{"DateFolderFalseWord", "[IMAGE]\nDATEFOLDER=FALSE\n", [](const CSysParam& s) { return int(s.dateFolder); }, 1},
        LoadRule{"DateFolderZero", "[IMAGE]\nDATEFOLDER=0\n", [](const CSysParam& s) { return int(s.dateFolder); }, 0},
        LoadRule{"DpiMissing", "", kXDpi, -1},
        LoadRule{"DpiZero", "[IMAGE]\nXDPI=0\n", kXDpi, -1},
        LoadRule{"DpiWithTrailingText", "[IMAGE]\nXDPI= 300dpi\n", kXDpi, 300},
        LoadRule{"NoiseZero", "[IMAGE]\nNoiseSize=0\n", kNoise, 5},
        LoadRule{"NoiseTwenty", "[IMAGE]\nNoiseSize=20\n", kNoise, 20},
        LoadRule{"NoiseTwentyOne", "[IMAGE]\nNoiseSize=21\n", kNoise, 5},
        LoadRule{"QualityAbove100", "[IMAGE]\nJPGQuality=101\n", kQuality, 70},
        LoadRule{"QualityZero", "[IMAGE]\nJPGQuality=0\n", kQuality, 0},
        LoadRule{"CropModeThree", "[IMAGE]\nCUTPAGETYPE=3\n", [](const CSysParam& s) { return s.cropMode; }, 0},
        LoadRule{"PrintTypeTwo", "[PRINT]\nTYPE=2\n", [](const CSysParam& s) { return s.printMode; }, 0},
        LoadRule{"KeyFunctionFive", "[OTHER]\nKEYFUNC=5\n", [](const CSysParam& s) { return s.middleKeyFunction; }, 0},
        LoadRule{"PositionNine", "[WaterMark]\nPosition=9\n", [](const CSysParam& s) { return s.watermarkPosition; }, 4},
        LoadRule{"SizeZero", "[WaterMark]\nSize=0\n", [](const CSysParam& s) { return s.watermarkSize; }, 256},
        LoadRule{"TransparencyAbove100", "[WaterMark]\nTransparency=150\n",
                 [](const CSysParam& s) { return s.watermarkTransparency; }, 50},
        LoadRule{"ColorTwo", "[IMAGE]\nCOLOR=2\n", kColor, 2},
        LoadRule{"ColorFour", "[IMAGE]\nCOLOR=4\n", kColor, 0},
        LoadRule{"LanguageTraditional", "[Language]\nCurrent=CNT\n", kLanguage, 1},
        LoadRule{"LanguageEnglish", "[Language]\nCurrent=EN\n", kLanguage, 2},
        LoadRule{"LanguageUnknown", "[Language]\nCurrent=en\n", kLanguage, 0},
        LoadRule{"IndexHugeIsClamped", "[IMAGE]\nINDEX=99999999999\n", [](const CSysParam& s) { return s.runningIndex; },
                 2147483647},
        LoadRule{"DeviceTypeMissing", "", [](const CSysParam& s) { return s.documentCamera.kind; }, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFile, NormalisedValuesAreWrittenBack) {
  LoadFrom("[FILE]\nTypeofImageName=7\n[OTHER]\nROTATION=45\n[IMAGE]\nSHADOW=true\n");
  IniDocument written = IniDocument::Parse(FileText());
  EXPECT_EQ(written.Get("FILE", "TypeofImageName"), "2");
  EXPECT_EQ(written.Get("OTHER", "ROTATION"), "0");
  EXPECT_EQ(written.Get("IMAGE", "SHADOW"), "FALSE");
}

TEST_F(SettingsFile, TextsFallBackWhenEmptyOrUnusable) {
  CSysParam empty = LoadFrom("[FILE]\nPREFIX=\nPRECHOOSE=\n");
  EXPECT_EQ(empty.prefix, "IMG");
  EXPECT_EQ(empty.prefixChoices, "IMG|TXT|JPG");
  CSysParam hostile = LoadFrom("[FILE]\nPREFIX=../up\nFOLDPATH=relative/folder\n");
  EXPECT_EQ(hostile.prefix, "IMG");
  EXPECT_EQ(hostile.storageFolder, pictures() / "Calvest");
  CSysParam kept = LoadFrom("[FILE]\nPREFIX=页面\nFOLDPATH=/srv/scans\n");
  EXPECT_EQ(kept.prefix, "页面");
  EXPECT_EQ(kept.storageFolder, fs::path("/srv/scans"));
}

TEST_F(SettingsFile, CropRectanglesReadInOrderAndKeepTheirValueOtherwise) {
  CSysParam settings = LoadFrom("[POSITION]\nDocument=1,2,3,4\nPortrait=5, 6,7 ,8\n");
  EXPECT_EQ(settings.documentCrop, (CropRect{1, 2, 3, 4}));
  EXPECT_EQ(settings.portraitCrop, (CropRect{5, 6, 7, 8}));

  ASSERT_TRUE(platform::WriteFileAtomically(ini(), "[POSITION]\nDocument=\nPortrait=9,9\n"));
  ASSERT_TRUE(settings.Load());
  EXPECT_EQ(settings.documentCrop, (CropRect{1, 2, 3, 4}));
  EXPECT_EQ(settings.portraitCrop, (CropRect{5, 6, 7, 8}));
}

TEST_F(SettingsFile, ReferenceDpiRoundTripsWhateverTheLocale) {
  const std::string previous = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "de_DE.UTF-8 is not generated";
  CSysParam settings = LoadFrom("[IMAGE]\nREFDPI=215.25\n");
  std::setlocale(LC_ALL, previous.c_str());
  EXPECT_FLOAT_EQ(settings.referenceDpi, 215.25f);
  EXPECT_EQ(IniDocument::Parse(FileText()).Get("IMAGE", "REFDPI"), "215.250000");
}

TEST_F(SettingsFile, SavingACopyWritesTheCommonFile) {
  CSysParam master = LoadFrom("");
  CSysParam copy = master;
  copy.prefix = "DOC";
  EXPECT_EQ(master.prefix, "IMG");
  ASSERT_TRUE(copy.Save());
  EXPECT_EQ(IniDocument::Parse(FileText()).Get("FILE", "PREFIX"), "DOC");
}

TEST_F(SettingsFile, ReadOnlyFileIsLeftUntouchedAndSaveFails) {
  CSysParam settings = LoadFrom("[FILE]\nPREFIX=OLD\n");
  const std::string before = FileText();
  fs::permissions(ini(), fs::perms::owner_read);
  settings.prefix = "NEW";
  EXPECT_FALSE(settings.Save());
  EXPECT_EQ(FileText(), before);
}

TEST_F(SettingsFile, UncreatableFileGivesDefaults) {
  ASSERT_TRUE(platform::WriteFileAtomically(folder_ / "not-a-folder", "x"));
  CSysParam settings;
  EXPECT_FALSE(settings.SetIniPath(folder_ / "not-a-folder" / "Sys.ini"));
  EXPECT_FALSE(settings.Load());
  EXPECT_EQ(settings.jpegQuality, 70);
  EXPECT_EQ(settings.prefixChoices, "IMG|TXT|JPG");
}

TEST_F(SettingsFile, MissingConfigFolderIsCreated) {
  CSysParam settings;
  EXPECT_TRUE(settings.SetIniPath(folder_ / "config" / "Sys.ini"));
  EXPECT_TRUE(fs::exists(folder_ / "config" / "Sys.ini"));
}

// ---- A settings file that is there but cannot be read ----

// Everything of a file that a save over it would change.
struct FileState {
  fs::file_type type = fs::file_type::none;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t modified = 0;  // nanoseconds
  std::optional<std::string> bytes;
  bool operator==(const FileState&) const = default;
};

FileState StateOf(const fs::path& path) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return {};
  return {fs::symlink_status(path).type(), status.st_ino, status.st_size,
          std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec, platform::ReadWholeFile(path)};
}

constexpr const char* kKeptSettings =
    "[FILE]\nFOLDPATH=/srv/scans\nPREFIX=DOC\n[IMAGE]\nINDEX=41\n[FennicQt]\nCaption=Companion\n";

struct UnreadableFile {
  const char* name;
  std::function<void(const fs::path& ini)> make;
  bool failingReads = false;          // reads of the file fail with EIO
  bool asAnotherUserThanRoot = false;  // root reads whatever the permissions say
};
void PrintTo(const UnreadableFile& c, std::ostream* out) { *out << c.name; }

class UnreadableSettings : public SettingsFile, public ::testing::WithParamInterface<UnreadableFile> {};

TEST_P(UnreadableSettings, StartOnTheDefaultsAndAreNeverWrittenOver) {
  const UnreadableFile& c = GetParam();
  if (c.asAnotherUserThanRoot && ::geteuid() == 0) GTEST_SKIP() << "root reads a file without permissions";
  c.make(ini());
  const FileState before = StateOf(ini());
  std::optional<testing::FailingReads> failing;
  if (c.failingReads) failing.emplace(ini());

  CSysParam settings;
  ASSERT_TRUE(settings.SetIniPath(ini()));
  EXPECT_FALSE(settings.Load());
  EXPECT_TRUE(settings.settingsFileUnreadable);
  CSysParam defaults;
  ASSERT_TRUE(defaults.SetIniPath(folder_ / "first start" / "Sys.ini"));
  ASSERT_TRUE(defaults.Load());
  defaults.ini = settings.ini;
  defaults.settingsFileUnreadable = true;
  EXPECT_TRUE(settings == defaults);

  settings.prefix = "NEW";
  settings.runningIndex = 7;
  EXPECT_FALSE(settings.Save());
  CSysParam copy = settings;  // as the settings window and the prefix editor hold it
  EXPECT_FALSE(copy.Save());
  failing.reset();
  EXPECT_FALSE(settings.Save()) << "a file that can be read again still holds what was never loaded";
  EXPECT_TRUE(StateOf(ini()) == before) << "the file is left as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Table, UnreadableSettings,
    ::testing::Values(
        UnreadableFile{"AnIoError", [](const fs::path& ini) { platform::WriteFileAtomically(ini, kKeptSettings); },
                       true},
        UnreadableFile{"NoPermission",
                       [](const fs::path& ini) {
                         platform::WriteFileAtomically(ini, kKeptSettings);
                         fs::permissions(ini, fs::perms::none);
                       },
                       false, true},
        UnreadableFile{"PastAMegabyte",
                       [](const fs::path& ini) {
                         platform::WriteFileAtomically(ini, kKeptSettings + std::string(1 << 20, ';'));
                       }},
        UnreadableFile{"AFifo", [](const fs::path& ini) { ASSERT_EQ(::mkfifo(ini.c_str(), 0600), 0); }},
        UnreadableFile{"AFolder", [](const fs::path& ini) { fs::create_directory(ini); }}),
    [](const ::testing::TestParamInfo<UnreadableFile>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane
