#include <fstream>

#include <gtest/gtest.h>

#include "station_fixture.h"
#include "temp_folder.h"
#include "ui/presenter.h"

namespace orvane::ui::testing {
namespace {
namespace fs = std::filesystem;

void WriteScript(const fs::path& file, const std::string& body) {
  std::ofstream(file) << "#!/bin/sh\n" << body;
  fs::permissions(file, fs::perms::owner_all);
}

// The desktop is asked through xdg-mime, as its opener asks it: only its plain "none" says no.
TEST(DesktopHasProgramForTest, OnlyTheDesktopsOwnNoneSaysNo) {
  const ::orvane::testing::TempFolder folder;
  const fs::path file = folder / "page.jpg";
  std::ofstream(file) << "picture";
  const ::orvane::testing::ScopedEnvironment path("PATH", folder.path().string());
  const struct {
    const char* xdgMime;  // the script's body; null: no xdg-mime
    bool has;
  } cases[] = {
      {"case \"$2\" in filetype) echo image/jpeg;; default) [ \"$3\" = image/jpeg ] && echo viewer.desktop;; esac\n",
       true},
      {"case \"$2\" in filetype) echo image/jpeg;; default) echo;; esac\n", false},
      {"exit 4\n", true},  // no answer: the opener decides
      {nullptr, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.xdgMime ? c.xdgMime : "none");
    std::error_code ignored;
    fs::remove(folder / "xdg-mime", ignored);
    if (c.xdgMime) WriteScript(folder / "xdg-mime", c.xdgMime);
    EXPECT_EQ(DesktopHasProgramFor(file), c.has);
  }
}

}  // namespace
}  // namespace orvane::ui::testing
