#include "platform/special_folders.h"

#include <gtest/gtest.h>

#include <fstream>

#include "temp_folder.h"

namespace orvane::platform {
namespace {
namespace fs = std::filesystem;
using testing::ScopedEnvironment;

struct FolderCase {
  const char* variable;
  fs::path (*folder)();
  const char* fallbackBelowHome;
};

class SpecialFolder : public ::testing::TestWithParam<FolderCase> {};

TEST_P(SpecialFolder, AbsoluteVariableWinsRelativeOneIsIgnored) {
  const FolderCase& c = GetParam();
  ScopedEnvironment home("HOME", "/home/tester");
  ScopedEnvironment xdgConfig("XDG_CONFIG_HOME", "/nonexistent-config");  // no user-dirs.dirs there
  {
    ScopedEnvironment set(c.variable, "/srv/chosen");
    EXPECT_EQ(c.folder(), fs::path("/srv/chosen"));
  }
  if (std::string(c.variable) != "XDG_CONFIG_HOME") {
    ScopedEnvironment relative(c.variable, "relative/path");
    EXPECT_EQ(c.folder(), fs::path("/home/tester") / c.fallbackBelowHome);
  }
}

INSTANTIATE_TEST_SUITE_P(Xdg, SpecialFolder,
                         ::testing::Values(FolderCase{"XDG_CONFIG_HOME", RoamingAppDataFolder, ".config"},
                                           FolderCase{"XDG_DATA_HOME", CommonAppDataFolder, ".local/share"},
                                           FolderCase{"XDG_PICTURES_DIR", PicturesFolder, "Pictures"}),
                         [](const auto& info) { return std::string(info.param.variable); });

TEST(SpecialFolders, TempFolderFallsBackToTmp) {
  {
    ScopedEnvironment tmp("TMPDIR", "/var/tmp");
    EXPECT_EQ(TempFolder(), fs::path("/var/tmp"));
  }
  ScopedEnvironment tmp("TMPDIR", "");
  EXPECT_EQ(TempFolder(), fs::path("/tmp"));
}

TEST(SpecialFolders, PicturesFolderFromUserDirs) {
  testing::TempFolder config;
  std::ofstream(config / "user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                              "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                              "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
  ScopedEnvironment home("HOME", "/home/tester");
  ScopedEnvironment xdgConfig("XDG_CONFIG_HOME", config.path().string());
  ScopedEnvironment pictures("XDG_PICTURES_DIR", "");
  EXPECT_EQ(PicturesFolder(), fs::path("/home/tester/Bilder"));
}

TEST(SpecialFolders, ProgramFolderIsTheExecutablesUnlessOverridden) {
  EXPECT_EQ(ProgramFolder(), fs::read_symlink("/proc/self/exe").parent_path());
  ScopedEnvironment overridden("ORVANE_PROGRAM_DIR", "/opt/orvane");
  EXPECT_EQ(ProgramFolder(), fs::path("/opt/orvane"));
}

}  // namespace
}  // namespace orvane::platform
