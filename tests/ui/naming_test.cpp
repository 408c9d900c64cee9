#include <fstream>

#include <gtest/gtest.h>

#include "station_fixture.h"
#include "ui/free_name_dialog.h"
#include "ui/prefix_dialog.h"

namespace orvane::ui::testing {
namespace {

class NamingDialogTest : public ::testing::Test {
 protected:
  NamingDialogTest() { EnsureApplication(); }
  ::orvane::testing::TempFolder folder;
  ScriptedPresenter presenter;
};

TEST_F(NamingDialogTest, AFreeNameThatCannotBeAFileNameIsRefusedAndCleared) {
  for (const char* name : {"a/b", "x:y", "what?", "..", "tab\there", "quote\"d"}) {
    CCustomFileNameDlg dialog(nullptr, false, 2, presenter);
    dialog.SetFolder(folder.path());
    dialog.SetExtension("JPG");
    dialog.NameEdit().setText(QString::fromUtf8(name));
    EXPECT_FALSE(dialog.TryAccept()) << name;
    EXPECT_TRUE(dialog.NameEdit().text().isEmpty()) << name;
  }
  ASSERT_EQ(presenter.shown.size(), 6u);
  EXPECT_EQ(presenter.shown[0].text.rfind("File name contains unsupported characters", 0), 0u);
}

TEST_F(NamingDialogTest, AnEmptyNameIsRefusedAndAnExistingFileAsksFirst) {
  std::ofstream(folder / "page.JPG") << "x";
  CCustomFileNameDlg dialog(nullptr, false, 1, presenter);
  dialog.SetFolder(folder.path());
  dialog.SetExtension("JPG");
  EXPECT_FALSE(dialog.TryAccept());
  EXPECT_EQ(presenter.shown.back().text, "檔案名不能為空!");
  dialog.NameEdit().setText("page");
  presenter.answers = {MessageAnswer::kNo, MessageAnswer::kYes};
  EXPECT_FALSE(dialog.TryAccept()) << "No keeps the dialog open";
  EXPECT_EQ(presenter.shown.back().text, "當前文件已存在，是否覆蓋？");
  EXPECT_TRUE(dialog.TryAccept());
  EXPECT_EQ(dialog.GetName(), "page");
  dialog.NameEdit().setText("new page");
  const std::size_t asked = presenter.shown.size();
  EXPECT_TRUE(dialog.TryAccept());
  EXPECT_EQ(presenter.shown.size(), asked) << "a new name asks nothing";
}

TEST_F(NamingDialogTest, APrefixListTakesOnlyPrefixesThatCanNameFiles) {
  const struct {
    const char* text;
    bool accepted;
    std::vector<std::string> prefixes;
  } cases[] = {
      {"IMG|TXT|JPG", true, {"IMG", "TXT", "JPG"}},
      {"SCAN", true, {"SCAN"}},
      {"a||b", false, {}},
      {"|a", false, {}},
      {"a|", false, {}},
      {"", false, {}},
      {"../x", false, {}},
      {"IMG|a/b", false, {}},
  };
  for (const auto& c : cases) {
    CDialogFileName dialog(nullptr, 0, presenter, c.text);
    EXPECT_EQ(dialog.SplitPrefixes(), c.accepted) << c.text;
    EXPECT_EQ(dialog.Prefixes(), c.prefixes) << c.text;
  }
  CDialogFileName english(nullptr, 2, presenter, "a||b");
  EXPECT_FALSE(english.TryAccept());
  EXPECT_EQ(presenter.shown.back().text, "Illegal file name prefix");
}

class PrefixEditTest : public StationTest {};

TEST_F(PrefixEditTest, AnEditedListIsKeptAndOpensInTheCurrentLanguage) {
  VirtualCameraIdentity identity;
  identity.productId = "A0C8";
  identity.sharpnessDefault = 28;
  identity.sharpnessMaximum = 6;
  identity.sizes = {{320, 240}};
  auto camera = std::make_unique<VirtualCamera>(identity);
  backend->Add(camera->Camera());
  WriteSettings("[Language]\nCurrent=CNT\n[FILE]\nTypeofImageName=0\nPREFIX=TXT\nPRECHOOSE=IMG|TXT\n[IMAGE]\nINDEX=4\n");
  ASSERT_EQ(Start(), StartUp::kRunning);
  auto* combo = static_cast<QComboBox*>(window->Control(ControlId::PrefixCombo));
  presenter.prefixLists = {std::nullopt, std::string("DOC|CARD")};
  combo->setCurrentIndex(combo->count() - 1);  // "...", then Cancel
  EXPECT_EQ(combo->currentText(), "TXT");
  EXPECT_EQ(window->GetSysParam().prefixChoices, "IMG|TXT");
  combo->setCurrentIndex(combo->count() - 1);  // "...", then a new list
  ASSERT_EQ(presenter.editedLists.size(), 2u);
  EXPECT_EQ(presenter.editedLists[0], std::make_pair(1, std::string("IMG|TXT")));
  EXPECT_EQ(combo->count(), 3);
  EXPECT_EQ(Setting("FILE", "PRECHOOSE"), "DOC|CARD") << "saved at once";
  window->SyncNaming();
  EXPECT_EQ(window->GetSysParam().prefix, "CARD") << "the remembered place now holds another prefix";
  EXPECT_EQ(window->GetSysParam().runningIndex, 0);
}

}  // namespace
}  // namespace orvane::ui::testing
