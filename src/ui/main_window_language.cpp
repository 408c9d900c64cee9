// The main window's texts per language: the command buttons' faces (their captions are inside
// the pictures), the tool tips of the picture and camera buttons, the panel's captions and the
// notice line under the preview.
#include <algorithm>
#include <numeric>
#include <vector>

#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>

#include "ui/button_faces.h"
#include "ui/control_text.h"
#include "ui/fx_button.h"
#include "ui/main_window.h"
#include "ui/qt_translations.h"

namespace orvane::ui {
namespace {

// The room the style leaves the caption beside the indicator.
int CaptionRoom(const QAbstractButton& control, bool radio) {
  QStyleOptionButton option;
  option.initFrom(&control);
  option.text = control.text();
  return control.style()
      ->subElementRect(radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, &control)
      .width();
}

// Whether the caption is wider than that room.
bool CaptionOverflows(const QAbstractButton& control, bool radio) {
  return control.fontMetrics().horizontalAdvance(control.text()) > CaptionRoom(control, radio);
}

struct RadioRow {
  ControlId group;
  std::vector<ControlId> radios;
};
const RadioRow kRadioRows[] = {
    {ControlId::CropGroup, {ControlId::CropNone, ControlId::CropAuto, ControlId::CropCustom}},
    {ControlId::ColourGroup, {ControlId::Colour, ControlId::Grey, ControlId::BlackAndWhite, ControlId::Negative}},
};

const Caption<ControlId> kPanelCaptions[] = {
    {ControlId::CameraGroup, {"视频控制", "視訊流控制", "Image control"}},
    {ControlId::ExposureLabel, {"曝光度", "曝光度", "EV"}},
    {ControlId::AutoExposure, {"自动", "自動", "Auto"}},
    {ControlId::NamingGroup, {"命名方式", "命名方式", "File Name Rule"}},
    {ControlId::NamingPrefix, {"固定前缀", "固定首碼", "Prefix"}},
    {ControlId::NamingDate, {"时间命名", "時間戳記", "Datetime"}},
    {ControlId::NamingFree, {"自由命名", "個人化", "Custom"}},
    {ControlId::PrefixLabel, {"前缀：", "首碼：", "Prefix:"}},
    {ControlId::IndexLabel, {"序号：", "序號：", "No.:"}},
    {ControlId::CropGroup, {"图像切边", "圖像切邊", "Image Trimming"}},
    {ControlId::CropNone, {"不切边", "不切邊", "None"}},
    {ControlId::CropAuto, {"校正去边", "自動切邊", "Auto"}},
    {ControlId::CropCustom, {"自定义", "自訂", "Manual"}},
    {ControlId::ColourGroup, {"图像类型", "圖像類型", "Image type"}},
    {ControlId::Colour, {"彩色", "彩色", "Color"}},
    {ControlId::Grey, {"灰度", "灰度", "Gray"}},
    {ControlId::BlackAndWhite, {"黑白", "黑白", "B/W"}},
    {ControlId::Negative, {"反色", "反色", "Anti"}},
    {ControlId::TwoInOne, {"合并图像", "合併圖像", "2 in 1"}},
    {ControlId::MultipageTiff, {"保存为多页TIF文件", "保存為多頁TIF檔", "multipage TIF"}},
    {ControlId::Barcode, {"条码识别", "條碼識別", "Barcode"}},
    {ControlId::OnePdf, {"保存为多页PDF文件", "保存為多頁PDF檔", "multipage PDF"}},
};

// Left is counter-clockwise: the picture turns as the button's arrow shows.
const Caption<ControlId> kToolTips[] = {
    {ControlId::RotateLeft, {"左转90°", "左轉90°", "Rotate 90° CCW"}},
    {ControlId::Rotate180, {"上下翻转", "上下翻轉", "Rotate 180°"}},
    {ControlId::RotateRight, {"右转90°", "右轉90°", "Rotate 90° CW"}},
    {ControlId::SwitchView, {"切换镜头", "切換鏡頭", "Camera Switch"}},
    {ControlId::Focus, {"自动对焦控制", "自動對焦控制", "Auto-focus"}},
};

// The notice line of languages 1 and 2; language 0 shows the branding's own.
const char* const kNoticeLines[3] = {"", "請將文件平放在底座中央，再按「拍攝」",
                                     "Lay the document flat in the middle of the base, then capture"};

// A command button's pictures of `language`, drawn with their black corners left out and no
// border; a disabled button shows the embossed shape of its normal picture or no picture.
void ShowFace(CFxButton& button, const CommandButtonFace& face, int language) {
  const std::array<int, 3>& ids = face.bitmaps[static_cast<std::size_t>(language)];
  button.SetBitmaps(ids[0], face.embossWhenDisabled, ids[1], ids[2], 0);
  button.SetTransparentColors(QColor(0, 0, 0), true);
  button.SetBorderWidths(0, true);
  button.Apply();
}

}  // namespace

void COrvaneDlg::ConfigureCommandButtons() {
  for (const CommandButtonFace& face : kCommandButtonFaces) {
    auto& button = *static_cast<CFxButton*>(Control(face.button));
    // The captions are in the pictures.
    button.SetTexts(QString(), true);
    button.SetCornerSize(QSize(8, 8));
    // The symbol buttons keep these in every language; the others follow the language.
    ShowFace(button, face, 0);
  }
}

void COrvaneDlg::SetUiLanguage(int language) {
  if (language < 0 || language > 2) return;
  UseQtTranslations(language);
  for (const CommandButtonFace& face : kCommandButtonFaces) {
    if (HasCaptions(face)) ShowFace(*static_cast<CFxButton*>(Control(face.button)), face, language);
  }
  const QPalette tips = QToolTip::palette();
  for (const Caption<ControlId>& tip : kToolTips) {
    static_cast<CFxButton*>(Control(tip.id))
        ->SetToolTip(QString::fromUtf8(tip.text[language]), tips.color(QPalette::ToolTipText),
                     tips.color(QPalette::ToolTipBase));
  }
  SetCaptions(*this, kPanelCaptions, language);
  PlaceRadioRows();
  FitPanelCaptions();
  notice_->setText(QString::fromStdString(language == 0 ? noticeText_ : std::string(kNoticeLines[language])));
  update();
}

void COrvaneDlg::PlaceRadioRows() {
  const QFontMetrics windowFont{QFont()};
  for (const RadioRow& row : kRadioRows) {
    const QRect group = Control(row.group)->geometry();
    // Across the group, just inside its frame.
    const int left = group.left() + 5;
    const int width = group.width() - 7;
    std::vector<int> needs;
    for (ControlId id : row.radios) {
      const auto& radio = *static_cast<QAbstractButton*>(Control(id));
      const int indicator = radio.width() - CaptionRoom(radio, true);
      needs.push_back(indicator + windowFont.horizontalAdvance(radio.text()));
    }
    const int needed = std::accumulate(needs.begin(), needs.end(), 0);
    const int count = static_cast<int>(needs.size());
    int x = left;
    for (int i = 0; i < count; ++i) {
      const int need = needs[static_cast<std::size_t>(i)];
      // The spare room goes between the radios, so that no caption runs into the next circle;
      // too little room for every caption: each in proportion to its need, to be shrunk later.
      int share = needed <= width ? need + (width - needed) / std::max(count - 1, 1) : need * width / std::max(needed, 1);
      if (i == count - 1) share = left + width - x;
      Control(row.radios[static_cast<std::size_t>(i)])->setGeometry(x, group.top() + 19, share, 22);
      x += share;
    }
  }
}

void COrvaneDlg::FitPanelCaptions() {
  constexpr double kSmallestPoints = 6.0;
  for (const Caption<ControlId>& caption : kPanelCaptions) {
    auto* control = qobject_cast<QAbstractButton*>(Control(caption.id));
    const bool radio = qobject_cast<QRadioButton*>(control) != nullptr;
    if (!radio && !qobject_cast<QCheckBox*>(control)) continue;
    // Back to the window's font first: the caption may be shorter than the last one.
    control->setFont(QFont());
    QFont font = control->font();
    while (CaptionOverflows(*control, radio) && font.pointSizeF() > kSmallestPoints) {
      font.setPointSizeF(std::max(kSmallestPoints, font.pointSizeF() - 0.5));
      control->setFont(font);
    }
  }
}

}  // namespace orvane::ui
