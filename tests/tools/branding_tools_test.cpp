// The branding tools as the build runs them: without a display, their files read by the program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/oem_data.h"
#include "platform/file_io.h"
#include "temp_folder.h"

extern char** environ;

namespace orvane {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string errors;
};

// Runs `tool` with no display to use; its standard error is captured.
ToolRun RunTool(const char* tool, const std::vector<std::string>& arguments, const testing::TempFolder& folder) {
  std::vector<std::string> environment;
  std::string asanOptions;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string_view variable(*entry);
    if (variable.starts_with("ASAN_OPTIONS=")) {
      asanOptions = std::string(variable.substr(13)) + ":";
      continue;
    }
    if (variable.starts_with("QT_QPA_PLATFORM=") || variable.starts_with("DISPLAY=") ||
        variable.starts_with("WAYLAND_DISPLAY=")) {
      continue;
    }
    environment.emplace_back(variable);
  }
  // Qt's fontconfig keeps memory at exit.
  environment.push_back("ASAN_OPTIONS=" + asanOptions + "detect_leaks=0");

  std::vector<char*> envp;
  for (auto& variable : environment) envp.push_back(variable.data());
  envp.push_back(nullptr);
  std::vector<std::string> argumentCopies{tool};
  argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& argument : argumentCopies) argv.push_back(argument.data());
  argv.push_back(nullptr);

  const auto errorsPath = folder / "errors.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int spawned = posix_spawn(&pid, tool, &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ToolRun run;
  if (spawned != 0) {
    run.errors = "cannot start " + std::string(tool);
    return run;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  run.errors = platform::ReadWholeFile(errorsPath).value_or("");
  return run;
}

class BrandingToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ToolRun run = RunTool(ORVANE_LOGO_TOOL, {"--name", "Orvane", "--output", logo_.string()}, folder_);
    ASSERT_EQ(run.exitCode, 0) << run.errors;
  }

  testing::TempFolder folder_;
  std::filesystem::path logo_ = folder_ / "logo.png";
  std::filesystem::path output_ = folder_ / "data.dat";
};

TEST_F(BrandingToolsTest, MakesABrandingFileTheProgramReads) {
  ToolRun run = RunTool(ORVANE_BRANDING_TOOL,
                        {"--logo", logo_.string(), "--splash", logo_.string(), "--link", "https://例子.cn/",
                         "--item", "扫描", "--item", "OCR", "--notice", "hidden", "--product-name", "文档相机",
                         "--notice-text", "客服热线", "--output", output_.string()},
                        folder_);
  ASSERT_EQ(run.exitCode, 0) << run.errors;

  COemData record;
  ASSERT_EQ(record.Load(output_), 0);
  ASSERT_TRUE(record.logo());
  EXPECT_EQ(record.logo()->width, 129);
  EXPECT_EQ(record.logo()->height, 55);
  const auto& pixels = record.logo()->pixels;
  EXPECT_NE(std::count(pixels.begin(), pixels.end(), pixels.front()), static_cast<std::ptrdiff_t>(pixels.size()))
      << "the name should be drawn";
  EXPECT_EQ(record.splash(), record.logo());
  EXPECT_EQ(record.link(), "https://例子.cn/");
  EXPECT_EQ(record.items(), (std::vector<std::string>{"扫描", "OCR"}));
  EXPECT_FALSE(record.noticeShown());
  EXPECT_EQ(record.productName(), "文档相机");
  EXPECT_EQ(record.noticeText(), "客服热线");
}

TEST_F(BrandingToolsTest, RefusesPictureItCannotRead) {
  const auto notPicture = folder_ / "notes.png";
  ASSERT_TRUE(platform::WriteFileAtomically(notPicture, "not a picture"));
  const auto missing = folder_ / "missing.png";
  const struct {
    const char* name;
    std::vector<std::string> pictures;
    std::string named;  // the file the message names
  } cases[] = {
      {"missing logo", {"--logo", missing.string()}, missing.string()},
      {"logo not a picture", {"--logo", notPicture.string()}, notPicture.string()},
      {"missing splash", {"--logo", logo_.string(), "--splash", missing.string()}, missing.string()},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(test.name);
    std::vector<std::string> arguments = test.pictures;
    arguments.insert(arguments.end(), {"--output", output_.string()});
    ToolRun run = RunTool(ORVANE_BRANDING_TOOL, arguments, folder_);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find(test.named), std::string::npos) << run.errors;
    EXPECT_FALSE(std::filesystem::exists(output_));
  }
}

TEST_F(BrandingToolsTest, RefusesTextGbkCannotHold) {
  ToolRun run = RunTool(ORVANE_BRANDING_TOOL,
                        {"--logo", logo_.string(), "--product-name", "Orvane \U0001F600", "--output", output_.string()},
                        folder_);
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.errors.find("GBK"), std::string::npos) << run.errors;
  EXPECT_FALSE(std::filesystem::exists(output_));
}

}  // namespace
}  // namespace orvane
