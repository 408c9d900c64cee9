#include <linux/videodev2.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QPixmap>

#include <array>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "platform/user_notice.h"
#include "station_fixture.h"
#include "ui/button_faces.h"
#include "ui/control_text.h"
#include "ui/fx_button.h"
#include "ui/image_button.h"

namespace orvane::ui::testing {
namespace {

using State = CFxButton::State;

// The pictures of the buttons whose captions change with the language: normal, pressed, hot for
// languages 0, 1 and 2.
struct LanguagePictures {
  ControlId button;
  std::array<std::array<int, 3>, 3> ids;
};
const LanguagePictures kLanguageTable[] = {
    {ControlId::Settings, {{{151, 179, 166}, {280, 278, 282}, {281, 279, 283}}}},
    {ControlId::VideoParams, {{{152, 180, 167}, {256, 254, 258}, {257, 255, 259}}}},
    {ControlId::Exit, {{{153, 181, 168}, {250, 248, 252}, {251, 249, 253}}}},
    {ControlId::BrowseFolder, {{{158, 186, 173}, {226, 224, 228}, {227, 225, 229}}}},
    {ControlId::Recognise, {{{160, 188, 175}, {262, 260, 264}, {263, 261, 265}}}},
    {ControlId::Copy, {{{161, 189, 176}, {268, 266, 270}, {269, 267, 271}}}},
    {ControlId::CaptureToPdf, {{{162, 190, 177}, {274, 272, 276}, {275, 273, 277}}}},
    {ControlId::Capture, {{{164, 191, 178}, {232, 230, 234}, {233, 231, 235}}}},
    {ControlId::Record, {{{207, 206, 208}, {238, 236, 240}, {239, 237, 241}}}},
    {ControlId::ContinuousShoot, {{{220, 221, 222}, {244, 242, 246}, {245, 243, 247}}}},
};
constexpr ControlId kSymbolButtons[] = {ControlId::RotateLeft, ControlId::Rotate180, ControlId::RotateRight,
                                        ControlId::SwitchView, ControlId::Focus};
constexpr State kPictureStates[] = {State::kNormal, State::kPressed, State::kHot};

class LanguageTest : public StationTest {
 protected:
  CFxButton& Button(ControlId id) const { return *static_cast<CFxButton*>(window->Control(id)); }
  // What the window shows of its texts and faces, control by control.
  std::map<int, std::string> Looks() const {
    std::map<int, std::string> looks;
    for (ControlId id : {ControlId::CameraGroup, ControlId::NamingFree, ControlId::CropAuto, ControlId::OnePdf,
                         ControlId::Notice}) {
      looks[static_cast<int>(id)] = ControlText(window->Control(id));
    }
    for (const LanguagePictures& row : kLanguageTable) {
      looks[static_cast<int>(row.button)] = std::to_string(Button(row.button).Bitmap(State::kNormal).cacheKey());
    }
    for (ControlId id : kSymbolButtons) {
      looks[static_cast<int>(id)] = Button(id).toolTip().toStdString() + " " +
                                    std::to_string(Button(id).Bitmap(State::kNormal).cacheKey());
    }
    return looks;
  }
};

TEST_F(LanguageTest, EveryButtonShowsThePicturesOfItsLanguageAtItsOwnSize) {
  window = std::make_unique<COrvaneDlg>(Environment());
  for (int language : {2, 1, 0}) {
    window->SetUiLanguage(language);
    for (const LanguagePictures& row : kLanguageTable) {
      const CFxButton& button = Button(row.button);
      for (int i = 0; i < 3; ++i) {
        const int id = row.ids[static_cast<std::size_t>(language)][static_cast<std::size_t>(i)];
        const QImage picture = ResourcePicture(id);
        ASSERT_FALSE(picture.isNull()) << id;
        EXPECT_EQ(picture.size(), button.size()) << id;
        EXPECT_EQ(button.Bitmap(kPictureStates[i]), picture.convertToFormat(QImage::Format_RGB32)) << id;
      }
    }
  }
  // The symbol buttons have faces of their own, the same in every language.
  for (ControlId id : kSymbolButtons) {
    const QImage normal = Button(id).Bitmap(State::kNormal);
    EXPECT_FALSE(normal.isNull()) << static_cast<int>(id);
    EXPECT_EQ(normal.size(), Button(id).size()) << static_cast<int>(id);
    window->SetUiLanguage(2);
    EXPECT_EQ(Button(id).Bitmap(State::kNormal), normal) << static_cast<int>(id);
    window->SetUiLanguage(0);
  }
}

TEST_F(LanguageTest, TheFacesOfOneButtonDifferFromLanguageToLanguageAndFromStateToState) {
  for (const LanguagePictures& row : kLanguageTable) {
    for (int i = 0; i < 3; ++i) {
      const QImage faces[3] = {ResourcePicture(row.ids[0][static_cast<std::size_t>(i)]),
                               ResourcePicture(row.ids[1][static_cast<std::size_t>(i)]),
                               ResourcePicture(row.ids[2][static_cast<std::size_t>(i)])};
      EXPECT_NE(faces[0], faces[1]) << row.ids[0][static_cast<std::size_t>(i)];
      EXPECT_NE(faces[0], faces[2]) << row.ids[0][static_cast<std::size_t>(i)];
      EXPECT_NE(faces[1], faces[2]) << row.ids[1][static_cast<std::size_t>(i)];
    }
    for (const auto& ids : row.ids) {
      EXPECT_NE(ResourcePicture(ids[0]), ResourcePicture(ids[1])) << ids[0];
      EXPECT_NE(ResourcePicture(ids[0]), ResourcePicture(ids[2])) << ids[0];
    }
  }
}

TEST_F(LanguageTest, TheToolTipsReadInTheirLanguageAndTurnTheWayTheButtonsDo) {
  window = std::make_unique<COrvaneDlg>(Environment());
  struct Tip {
    ControlId button;
    const char* text[3];
  };
  const Tip tips[] = {
      {ControlId::RotateLeft, {"左转90°", "左轉90°", "Rotate 90° CCW"}},
      {ControlId::Rotate180, {"上下翻转", "上下翻轉", "Rotate 180°"}},
      {ControlId::RotateRight, {"右转90°", "右轉90°", "Rotate 90° CW"}},
      {ControlId::SwitchView, {"切换镜头", "切換鏡頭", "Camera Switch"}},
      {ControlId::Focus, {"自动对焦控制", "自動對焦控制", "Auto-focus"}},
  };
  for (int language : {1, 2, 0}) {
    window->SetUiLanguage(language);
    for (const Tip& tip : tips) EXPECT_EQ(Button(tip.button).toolTip().toStdString(), tip.text[language]) << language;
  }
}

// Qt's own buttons read in the station's language, and back in English when it changes.
TEST_F(LanguageTest, QtsOwnButtonsFollowTheLanguage) {
  window = std::make_unique<COrvaneDlg>(Environment());
  const struct {
    int language;
    const char* yes;
    const char* cancel;
  } cases[] = {{0, "是(&Y)", "取消"}, {1, "是(&Y)", "取消"}, {2, "&Yes", "Cancel"}, {0, "是(&Y)", "取消"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.language);
    window->SetUiLanguage(c.language);
    QMessageBox box(QMessageBox::Question, "Orvane", "?", QMessageBox::Yes | QMessageBox::Cancel);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().toStdString(), c.yes);
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().toStdString(), c.cancel);
  }
}

// What the station asks and opens, started in each language of the settings, through the program's
// own presenter and the camera's property page.
struct StationLanguage {
  const char* setting;  // [Language] Current
  const char* yes;
  const char* no;
  const char* printTitle;
  const char* folderCancel;
  const char* freeName;
  const char* brightness;
  const char* autoFocus;
  const char* timeOut;    // the camera's still that did not come
  const char* noDisplay;  // a display that cannot start, with its error code
};

class StationLanguageTest : public StationTest, public ::testing::WithParamInterface<StationLanguage> {
 protected:
  // The text of the dialog's standard button.
  static std::string Button(QDialog& dialog, QDialogButtonBox::StandardButton which) {
    const auto* box = dialog.findChild<QDialogButtonBox*>();
    const QPushButton* button = box == nullptr ? nullptr : box->button(which);
    return button == nullptr ? "(none)" : button->text().toStdString();
  }
};

TEST_P(StationLanguageTest, QuestionsDialogsAndThePropertyPageReadInTheLanguage) {
  const StationLanguage& expected = GetParam();
  VirtualCamera camera(SmallCamera());
  backend->Add(camera.Camera());
  WriteSettings(std::string("[Language]\nCurrent=") + expected.setting + "\n");
  ASSERT_EQ(Start(), StartUp::kRunning);
  QtPresenter shown;

  std::string yes, no;
  NextModalDialog question([&](QDialog& box) {
    yes = Button(box, QDialogButtonBox::Yes);
    no = Button(box, QDialogButtonBox::No);
  });
  shown.ShowMessage(window.get(), "?", "", MessageIcon::kQuestion, MessageButtons::kYesNo);
  ASSERT_TRUE(question.Seen());
  EXPECT_EQ(yes, expected.yes);
  EXPECT_EQ(no, expected.no);

  std::string printTitle;
  NextModalDialog print([&](QDialog& dialog) { printTitle = dialog.windowTitle().toStdString(); });
  EXPECT_EQ(shown.ChoosePrinter(window.get(), "page", {}), nullptr);
  ASSERT_TRUE(print.Seen());
  EXPECT_EQ(printTitle, expected.printTitle);

  std::string folderCancel;
  NextModalDialog folderChooser([&](QDialog& dialog) { folderCancel = Button(dialog, QDialogButtonBox::Cancel); });
  EXPECT_EQ(shown.ChooseFolder(window.get(), "", folder.path()), std::nullopt);
  ASSERT_TRUE(folderChooser.Seen());
  EXPECT_EQ(folderCancel, expected.folderCancel);

  std::string freeName;
  NextModalDialog prompt([&](QDialog& dialog) { freeName = dialog.windowTitle().toStdString(); });
  EXPECT_EQ(shown.AskFreeName(window.get(), window->GetSysParam().language, folder.path(), "jpg"), std::nullopt);
  ASSERT_TRUE(prompt.Seen());
  EXPECT_EQ(freeName, expected.freeName);

  std::map<std::uint32_t, std::string> names;
  NextModalDialog page([&](QDialog& dialog) {
    for (const QLabel* label : dialog.findChildren<QLabel*>()) {
      if (label->buddy() != nullptr) names[label->buddy()->objectName().toUInt()] = label->text().toStdString();
    }
  });
  window->OnCommand(ControlId::VideoParams);
  ASSERT_TRUE(page.Seen());
  EXPECT_EQ(names[V4L2_CID_BRIGHTNESS], expected.brightness);
  EXPECT_EQ(names[V4L2_CID_FOCUS_AUTO], expected.autoFocus);

  // The lower layers' messages, as they write them.
  platform::ShowUserNotice({"Time Out", "", platform::NoticeIcon::kWarning});
  platform::ShowUserNotice({"创建视频预览窗口失败，错误码：12", "", platform::NoticeIcon::kError});
  ASSERT_GE(presenter.shown.size(), 2u);
  EXPECT_EQ(presenter.shown[presenter.shown.size() - 2].text, expected.timeOut);
  EXPECT_EQ(presenter.shown.back().text, std::string(expected.noDisplay) + "12");
}

INSTANTIATE_TEST_SUITE_P(
    Languages, StationLanguageTest,
    ::testing::Values(StationLanguage{"CN", "是(&Y)", "否(&N)", "打印", "取消", "文件名", "亮度", "自动对焦", "拍摄超时",
                                      "创建视频预览窗口失败，错误码："},
                      StationLanguage{"CNT", "是(&Y)", "否(&N)", "列印", "取消", "檔案名", "亮度", "自動對焦", "拍攝逾時",
                                      "建立視訊預覽視窗失敗，錯誤碼："},
                      StationLanguage{"EN", "&Yes", "&No", "Print", "Cancel", "File name", "Brightness", "Auto focus",
                                      "Time Out", "The video preview window could not be created, error code: "}));

TEST_F(LanguageTest, AnUnknownLanguageChangesNothing) {
  window = std::make_unique<COrvaneDlg>(Environment());
  window->SetUiLanguage(2);
  const std::map<int, std::string> english = Looks();
  std::map<ControlId, QImage> shown;
  for (const LanguagePictures& row : kLanguageTable) shown[row.button] = Button(row.button).grab().toImage();
  for (int language : {3, -1}) {
    window->SetUiLanguage(language);
    EXPECT_EQ(Looks(), english) << language;
    for (const auto& [id, picture] : shown) EXPECT_EQ(Button(id).grab().toImage(), picture) << language;
  }
}

// Whole, and at the window's own font: no caption of the table needs the last resort of a smaller
// one. Back in Simplified Chinese after English every caption has its first font again.
TEST_F(LanguageTest, EveryRadioAndBoxOfThePanelShowsItsWholeCaptionAtTheWindowsFontInEveryLanguage) {
  window = std::make_unique<COrvaneDlg>(Environment());
  std::map<QAbstractButton*, double> firstPoints;
  for (int language : {0, 1, 2, 0}) {
    window->SetUiLanguage(language);
    for (QAbstractButton* control : window->findChildren<QAbstractButton*>()) {
      if (!qobject_cast<QRadioButton*>(control) && !qobject_cast<QCheckBox*>(control)) continue;
      QStyleOptionButton option;
      option.initFrom(control);
      const QRect room = control->style()->subElementRect(qobject_cast<QRadioButton*>(control)
                                                              ? QStyle::SE_RadioButtonContents
                                                              : QStyle::SE_CheckBoxContents,
                                                          &option, control);
      EXPECT_LE(control->fontMetrics().horizontalAdvance(control->text()), room.width())
          << language << " " << control->text().toStdString();
      EXPECT_EQ(control->font().pointSizeF(), QFont().pointSizeF()) << language << " " << control->text().toStdString();
      if (language != 0) continue;
      if (!firstPoints.contains(control)) {
        firstPoints[control] = control->font().pointSizeF();
      } else {
        EXPECT_EQ(control->font().pointSizeF(), firstPoints[control]) << control->text().toStdString();
      }
    }
    // The rows of radios side by side inside their groups.
    const std::pair<ControlId, std::vector<ControlId>> rows[] = {
        {ControlId::CropGroup, {ControlId::CropNone, ControlId::CropAuto, ControlId::CropCustom}},
        {ControlId::ColourGroup, {ControlId::Colour, ControlId::Grey, ControlId::BlackAndWhite, ControlId::Negative}},
    };
    for (const auto& [group, radios] : rows) {
      const QRect frame = window->Control(group)->geometry();
      int free = frame.left();
      for (ControlId id : radios) {
        const QRect place = window->Control(id)->geometry();
        EXPECT_TRUE(frame.contains(place)) << language << " " << static_cast<int>(id);
        EXPECT_GE(place.left(), free) << language << " " << static_cast<int>(id);
        free = place.left() + place.width();
      }
    }
  }
}

// The command buttons' captions are drawn at their full size in every language: none is shrunk
// to fit its face.
TEST(ButtonFaceCaptions, EveryCaptionFitsItsFaceAtFullSize) {
  EnsureApplication();
  for (const CommandButtonFace& face : kCommandButtonFaces) {
    if (!HasCaptions(face)) continue;
    for (std::size_t language = 0; language < 3; ++language) {
      QFont font(QString::fromUtf8(kFaceFamilies[language]));
      font.setPixelSize(CaptionPixels(face));
      font.setBold(IsAccent(face));
      font.setStyleStrategy(QFont::NoFontMerging);
      const QString caption = QString::fromUtf8(face.captions[language]);
      EXPECT_LE(QFontMetrics(font).horizontalAdvance(caption), face.width - kCaptionMargin) << caption.toStdString();
    }
  }
}

TEST_F(LanguageTest, StartUpShowsTheButtonsInTheLanguageOfTheSettings) {
  WriteSettings("[Language]\nCurrent=CNT\n");
  // Without a camera the station ends, but not before its window speaks the language.
  EXPECT_EQ(Start(), StartUp::kEnd);
  EXPECT_EQ(Button(ControlId::Capture).Bitmap(State::kNormal),
            ResourcePicture(232).convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(Button(ControlId::SwitchView).toolTip().toStdString(), "切換鏡頭");
}

}  // namespace
}  // namespace orvane::ui::testing
