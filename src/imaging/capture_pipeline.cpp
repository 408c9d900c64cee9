#include "imaging/capture_pipeline.h"

#include <algorithm>
#include <cmath>
#include <exception>

#include <opencv2/imgproc.hpp>

#include "imaging/binarization.h"
#include "imaging/conversions.h"
#include "imaging/opencv_compat.h"
#include "imaging/page_detection.h"
#include "imaging/perspective.h"

namespace orvane::imaging {

namespace {

constexpr float kCaptureMinimumAreaRatio = 0.01f;
constexpr int kBinarizeElement = 21;
constexpr int kBinarizeMedianBase = 301;
constexpr int kBorderStripWidth = 20;
constexpr int kBorderRunLength = 21;

struct Messages {
  const char* specialCharacters;
  const char* notRecognised;
  const char* savedIn;
  const char* tooLong;
  const char* saveFailed;
};

constexpr Messages kMessages[] = {
    {"条形码/二维码中含有特殊字符，不能作为文件名", "没有识别出条形码/二维码",
     "条形码/二维码内容保存在", "条形码/二维码内容太长，不能作为文件名", "无法保存文件"},
    {"條碼/二維碼中含有特殊字元不能作為檔案名", "沒有識別出條碼/二維碼", "條碼/二維碼內容儲存在",
     "條碼/二維碼內容太長，不能作為檔案名", "無法儲存檔案"},
    {"Barcode/QR-code contains special characters so that can not be used as file name",
     "It does not recognize a barcode/QR-code", "Barcode/QR-code saved in",
     "Barcode/QR-code is too long to be used as file name", "The file could not be saved:"},
};

}  // namespace

CCaptureImageHelper::CCaptureImageHelper(int language) {
  if (language >= 0 && language < static_cast<int>(std::size(kMessages))) {
    specialCharacterMessage_ = kMessages[language].specialCharacters;
    notRecognisedMessage_ = kMessages[language].notRecognised;
    savedInMessage_ = kMessages[language].savedIn;
    tooLongMessage_ = kMessages[language].tooLong;
    saveFailedMessage_ = kMessages[language].saveFailed;
  }
}

void CCaptureImageHelper::SetSettings(const CSysParam& settings) { settings_ = settings; }

std::array<cv::Point2f, 4> PageCut::Outline() const {
  std::array<cv::Point2f, 4> corners;
  if (transform.empty()) {
    page.points(corners.data());
    return corners;
  }
  const std::vector<cv::Point2f> cutCorners = {{0, 0},
                                               {float(size.width), 0},
                                               {float(size.width), float(size.height)},
                                               {0, float(size.height)}};
  std::vector<cv::Point2f> inSource;
  cv::perspectiveTransform(cutCorners, inSource, transform.inv());
  std::copy(inSource.begin(), inSource.end(), corners.begin());
  return corners;
}

std::vector<PageCut> FindPageCuts(const cv::Mat& source, bool everyPage, bool straighten) {
  std::vector<cv::RotatedRect> pages;
  FindDocumentRegions(source, kPageMedianAperture, kPageGradientAperture, kPageScale,
                      kCaptureMinimumAreaRatio, kPageThresholdFactor, pages);
  // A cut round several pages has no one page's edges to be straightened by: the rectangle round
  // them keeps them all whole.
  const bool straightenEach = straighten && (everyPage || pages.size() == 1);
  if (!everyPage && !pages.empty()) pages = {BoundsOfRegions(pages)};
  std::vector<PageCut> cuts;
  for (const cv::RotatedRect& page : pages) {
    PageCut cut{page, {}, {}};
    if (straightenEach) {
      cv::Size size;
      cv::Mat transform = DetectDocumentRect(source, page, kPageThresholdFactor,
                                             kPageMedianAperture, 0, kPageScale,
                                             kPageGradientAperture, size);
      if (IsPlausiblePageTransform(transform, size, page)) {
        cut.transform = std::move(transform);
        cut.size = size;
      }
    }
    cuts.push_back(std::move(cut));
  }
  return cuts;
}

cv::Mat CutPage(const cv::Mat& picture, const PageCut& cut) {
  if (cut.transform.empty()) return CropRotatedRect(picture, cut.page);
  cv::Mat straight;
  if (!compat::WarpPerspective(picture, straight, cut.transform, cut.size)) return {};
  return straight;
}

ProcessResult CCaptureImageHelper::ProcessCapture(const cv::Mat& source,
                                                  std::vector<cv::Mat>& pictures,
                                                  const cv::Mat& work) {
  if (source.empty()) return ProcessResult::kEmptySource;
  const std::size_t before = pictures.size();
  try {
    const cv::Mat shown = work.empty() ? source : work;
    // Without a page the plain frame is kept: a picture-in-picture inset belongs on a cut page
    // only.
    const cv::Mat& uncut = source;
    std::vector<cv::Mat> results;
    switch (settings_.cropMode) {
      case 1:
        if (!settings_.keepEveryDocument) {
          const std::vector<PageCut> cuts = FindPageCuts(source, false, settings_.deformationRepair);
          cv::Mat cut = cuts.empty() ? cv::Mat() : CutPage(shown, cuts.front());
          results.push_back(cut.empty() ? uncut.clone() : cut);
        } else {
          const std::vector<PageCut> cuts = FindPageCuts(source, true, settings_.deformationRepair);
          if (cuts.empty()) results.push_back(uncut.clone());
          for (const PageCut& page : cuts) {
            cv::Mat cut = CutPage(shown, page);
            if (!cut.empty()) results.push_back(std::move(cut));
          }
        }
        break;
      case 2: {
        const CropRect& crop = settings_.captureCrop;
        CropRoiToVector(shown, crop.left, crop.top, crop.right - crop.left,
                        crop.bottom - crop.top, results);
        break;
      }
      default:
        results.push_back(shown.clone());
        break;
    }

    const bool blackAndWhite = settings_.colorMode == 2;
    if (WatermarkOn() && blackAndWhite)
      for (cv::Mat& picture : results) StampWithSettings(picture);
    for (cv::Mat& picture : results) {
      ApplyColorStep(picture, 0.5);
      ApplyShadowStep(picture);
    }
    if (WatermarkOn() && !blackAndWhite)
      for (cv::Mat& picture : results) StampWithSettings(picture);

    pictures.insert(pictures.end(), std::make_move_iterator(results.begin()),
                    std::make_move_iterator(results.end()));
    return ProcessResult::kDone;
  } catch (const std::exception&) {
    // cv::Exception and allocation failures: report, keep nothing half-done.
    pictures.resize(before);
    return ProcessResult::kFailed;
  }
}

cv::Mat CCaptureImageHelper::ApplyColorMode(const cv::Mat& picture) {
  if (picture.empty()) return {};
  try {
    cv::Mat copy = picture.clone();
    ApplyColorStep(copy, 0.4);
    ApplyShadowStep(copy);
    if (WatermarkOn()) {
      StampWithSettings(copy);
      // The blended text must not leave grey levels in a black-and-white page: decide each pixel
      // as the bilevel writers do (below 125 is ink).
      if (settings_.colorMode == 2 && copy.channels() == 1)
        cv::threshold(copy, copy, 124, 255, cv::THRESH_BINARY);
    }
    return copy;
  } catch (const std::exception&) {
    return {};
  }
}

void CCaptureImageHelper::ApplyColorStep(cv::Mat& picture, double factor) const {
  switch (settings_.colorMode) {
    case 1:
      picture = ToGrey(picture, GreyConversion::kRgbToGreyOnBgr);
      break;
    case 2:
      picture = BinarizeDocument(picture, kBinarizeElement, kBinarizeMedianBase, factor);
      if (settings_.noiseSize > 0) RemoveSmallSpecks(picture, settings_.noiseSize);
      CleanBorderStrips(picture, kBorderStripWidth, kBorderRunLength);
      break;
    case 3:
      cv::bitwise_not(picture, picture);
      break;
    default:
      break;
  }
}

void CCaptureImageHelper::ApplyShadowStep(cv::Mat& picture) const {
  if (!settings_.shadowRemoval) return;
  if (settings_.colorMode == 0) {
    picture = RemoveShadow(picture);
  } else if (settings_.colorMode == 1) {
    cv::Mat whitened;
    if (CImageProcess().WhitenBackground(picture, whitened)) picture = whitened;
  }
}

cv::Mat CCaptureImageHelper::RemoveShadow(const cv::Mat& picture) const {
  if (picture.empty()) return {};
  cv::Mat mask = BinarizeDocument(picture, kBinarizeElement, kBinarizeMedianBase, 0.5);
  if (settings_.noiseSize > 0) RemoveSmallSpecks(mask, settings_.noiseSize);
  CleanBorderStrips(mask, kBorderStripWidth, kBorderRunLength);
  cv::Mat result = picture.clone();
  result.setTo(cv::Scalar::all(255), mask == 255);
  return result;
}

bool CCaptureImageHelper::SetWatermark(const std::string& text, int kind, int transparency,
                                       int position, int fontHeight, int color) {
  watermark_.picture.release();
  watermark_.text.clear();
  if (kind < 0) return true;
  if (position < 0 || position > 4 || transparency < 0 || transparency > 100 || kind > 1)
    return false;
  if (kind == 1) return false;
  if (fontHeight < 1) return false;
  watermark_.text = text;
  watermark_.position = position;
  watermark_.color = color;
  watermark_.transparency = transparency;
  watermark_.fontHeight = fontHeight;
  return true;
}

void CCaptureImageHelper::StampWatermarkText(cv::Mat& picture, const WatermarkSpec& spec) const {
  StampWatermark(picture, spec);
}

bool CCaptureImageHelper::WatermarkOn() const {
  return settings_.dateWatermark || settings_.customWatermark;
}

void CCaptureImageHelper::StampWithSettings(cv::Mat& picture) {
  if (SetWatermark(settings_.GetWatermarkText(), 0, settings_.watermarkTransparency,
                   settings_.watermarkPosition, settings_.watermarkSize,
                   settings_.watermarkColor))
    StampWatermarkText(picture, watermark_);
}

}  // namespace orvane::imaging
