// The run-time loader: where the device library is looked for, and that a missing file or
// symbol is an answer, not a crash.
#include "platform/device_library.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/special_folders.h"
#include "temp_folder.h"

namespace orvane::platform {
namespace {

using orvane::testing::ScopedEnvironment;
using orvane::testing::TempFolder;

TEST(DeviceLibraryPathTest, ProgramFolderUnlessTheEnvironmentNamesAnother) {
  {
    ScopedEnvironment unset("ORVANE_DEVICE_LIBRARY", "");
    EXPECT_EQ(DeviceLibraryPath(), ProgramFolder() / "libRNX_WMP.so");
  }
  ScopedEnvironment set("ORVANE_DEVICE_LIBRARY", "/opt/camera/libRNX_WMP.so");
  EXPECT_EQ(DeviceLibraryPath(), "/opt/camera/libRNX_WMP.so");
}

TEST(SharedLibraryTest, MissingOrBrokenFilesAreRefused) {
  TempFolder folder;
  std::ofstream(folder / "libbroken.so") << "not an ELF file";
  for (const auto& path : {folder / "libabsent.so", folder / "libbroken.so"}) {
    SharedLibrary library;
    EXPECT_FALSE(library.Load(path)) << path;
    EXPECT_FALSE(library.Loaded());
    EXPECT_FALSE(library.Error().empty());
    EXPECT_EQ(library.Symbol("strlen"), nullptr);
  }
}

TEST(SharedLibraryTest, ResolvesExportedNamesOnly) {
  SharedLibrary library;
  ASSERT_TRUE(library.Load("libc.so.6")) << library.Error();
  auto* length = library.Resolve<std::size_t(const char*)>("strlen");
  ASSERT_NE(length, nullptr);
  EXPECT_EQ(length("camera"), 6u);
  EXPECT_EQ(library.Symbol("RNX_WMP_NoSuchExport"), nullptr);
  library.Free();
  EXPECT_FALSE(library.Loaded());
  EXPECT_EQ(library.Symbol("strlen"), nullptr);
}

}  // namespace
}  // namespace orvane::platform
