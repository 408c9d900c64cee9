// The faces of the main window's fifteen command buttons: the pictures each button shows per
// interface language (normal, pressed, hot), the size they are drawn at, and the caption drawn
// into them. The picture tool draws them from this table and the window loads them by it, so the
// two cannot disagree. Plain data: no Qt.
#pragma once

#include <array>

#include "ui/control_ids.h"

namespace orvane::ui {

struct CommandButtonFace {
  ControlId button;
  int width;
  int height;
  // A disabled button shows the embossed shape of its normal picture; otherwise no picture.
  bool embossWhenDisabled;
  // Per language (0 Simplified Chinese, 1 Traditional Chinese, 2 English): normal, pressed, hot.
  std::array<std::array<int, 3>, 3> bitmaps;
  // Per language; null for the buttons that show a symbol instead, the same in every language.
  std::array<const char*, 3> captions;
};

inline constexpr CommandButtonFace kCommandButtonFaces[] = {
    {ControlId::Settings, 65, 26, true, {{{151, 179, 166}, {280, 278, 282}, {281, 279, 283}}},
     {"系统参数", "系統參數", "Settings"}},
    {ControlId::VideoParams, 65, 26, false, {{{152, 180, 167}, {256, 254, 258}, {257, 255, 259}}},
     {"视频参数", "視訊參數", "Camera"}},
    {ControlId::Exit, 65, 26, false, {{{153, 181, 168}, {250, 248, 252}, {251, 249, 253}}},
     {"退出程序", "退出程式", "Exit"}},
    {ControlId::BrowseFolder, 205, 24, false, {{{158, 186, 173}, {226, 224, 228}, {227, 225, 229}}},
     {"浏览图像", "瀏覽圖像", "Browse images"}},
    {ControlId::Recognise, 100, 26, false, {{{160, 188, 175}, {262, 260, 264}, {263, 261, 265}}},
     {"文字识别", "文字識別", "OCR"}},
    {ControlId::Copy, 100, 26, false, {{{161, 189, 176}, {268, 266, 270}, {269, 267, 271}}},
     {"复印", "影印", "Copy"}},
    {ControlId::CaptureToPdf, 100, 26, false, {{{162, 190, 177}, {274, 272, 276}, {275, 273, 277}}},
     {"拍摄为PDF", "拍攝為PDF", "Capture to PDF"}},
    {ControlId::Capture, 205, 38, false, {{{164, 191, 178}, {232, 230, 234}, {233, 231, 235}}},
     {"拍摄", "拍攝", "Capture"}},
    {ControlId::Record, 100, 26, false, {{{207, 206, 208}, {238, 236, 240}, {239, 237, 241}}},
     {"录像", "錄影", "Record video"}},
    {ControlId::ContinuousShoot, 205, 26, false, {{{220, 221, 222}, {244, 242, 246}, {245, 243, 247}}},
     {"连续拍摄", "連續拍攝", "Continuous capturing"}},
    // The picture and camera buttons show symbols, the same in every language.
    {ControlId::RotateLeft, 45, 24, true, {{{154, 182, 169}, {154, 182, 169}, {154, 182, 169}}}, {}},
    {ControlId::Rotate180, 45, 24, true, {{{155, 183, 170}, {155, 183, 170}, {155, 183, 170}}}, {}},
    {ControlId::RotateRight, 45, 24, true, {{{156, 184, 171}, {156, 184, 171}, {156, 184, 171}}}, {}},
    {ControlId::SwitchView, 45, 24, true, {{{157, 185, 172}, {157, 185, 172}, {157, 185, 172}}}, {}},
    {ControlId::Focus, 189, 22, true, {{{159, 187, 174}, {159, 187, 174}, {159, 187, 174}}}, {}},
};

// Whether a button's pictures change with the language.
constexpr bool HasCaptions(const CommandButtonFace& face) { return face.captions[0] != nullptr; }

// How the captions are drawn: in the language's font family, at the face's caption size (the
// capture button's larger and bold), kept kCaptionMargin pixels clear of the face's sides. A
// caption too long for that is drawn smaller, down to 8 pixels: the last resort, which a caption
// of the table should never need.
inline constexpr std::array<const char*, 3> kFaceFamilies = {"Noto Sans CJK SC", "Noto Sans CJK TC", "Noto Sans CJK SC"};
inline constexpr int kCaptionMargin = 8;
constexpr bool IsAccent(const CommandButtonFace& face) { return face.button == ControlId::Capture; }
constexpr int CaptionPixels(const CommandButtonFace& face) { return IsAccent(face) ? 19 : 13; }

}  // namespace orvane::ui
