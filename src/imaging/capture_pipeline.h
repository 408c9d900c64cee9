// `CCaptureImageHelper`: turns the pictures a capture grabbed into finished pages: cutting (none,
// detected page or pages, manual rectangle), optional perspective straightening, colour mode,
// shadow removal and the text watermark. A caller makes one per operation, on one thread at a
// time; it reads the settings only from its own copy.
#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "app/sys_param.h"
#include "imaging/watermark.h"
#include "platform/file_io.h"

namespace orvane::imaging {

enum class ProcessResult {
  kDone,         // the results were appended
  kEmptySource,  // nothing was done
  kFailed,       // an image operation failed; nothing was appended
};

// How a file of a capture takes its name: never over another file; a name taken by the time it
// is written moves on to the next free "-2", "-3", ... of the same base.
platform::FilePlacement NewCaptureFile();

// One page as automatic cropping cuts it from the source picture.
struct PageCut {
  cv::RotatedRect page;  // as detected, source pixels
  // Source to cut (3 x 3) when the page is straightened by its edges; empty for the rotated crop.
  cv::Mat transform;
  cv::Size size;  // of the straightened cut
  // Where the cut's corners lie in the source picture, in order round it.
  std::array<cv::Point2f, 4> Outline() const;
};

// The cuts automatic cropping makes of `source`: one round every page, or one per page with
// `everyPage`; straightened by the pages' edges with `straighten` where that is plausible. Empty
// when no page is found.
std::vector<PageCut> FindPageCuts(const cv::Mat& source, bool everyPage, bool straighten);
// The cut taken from `picture` (the source or the same frame as shown). Where the cut reaches
// beyond the picture it is white. Empty when nothing can be cut.
cv::Mat CutPage(const cv::Mat& picture, const PageCut& cut);

class CCaptureImageHelper {
 public:
  // Language 0 Simplified Chinese, 1 Traditional Chinese, 2 English; any other leaves the
  // barcode messages empty.
  explicit CCaptureImageHelper(int language);

  void SetSettings(const CSysParam& settings);
  const CSysParam& Settings() const { return settings_; }

  // Cuts `source` (or `work`, the same frame as shown, when given: picture-in-picture) by the crop
  // mode and finishes every cut; detection always looks at `source`. Appends to `pictures`.
  ProcessResult ProcessCapture(const cv::Mat& source, std::vector<cv::Mat>& pictures,
                               const cv::Mat& work = cv::Mat());
  // Colour mode, shadow removal and watermark of one picture without cutting. Empty for an empty
  // picture or when an image operation fails.
  cv::Mat ApplyColorMode(const cv::Mat& picture);
  // The colour picture with its paper (as black-and-white conversion sees it) turned pure white.
  cv::Mat RemoveShadow(const cv::Mat& picture) const;

  // Kind 0 is a text watermark; kind 1 (picture) is refused. A negative kind clears the
  // watermark and succeeds. False for a position outside 0 ... 4, a transparency outside
  // 0 ... 100 or a font height below 1.
  bool SetWatermark(const std::string& text, int kind, int transparency, int position,
                    int fontHeight, int color);
  void StampWatermarkText(cv::Mat& picture, const WatermarkSpec& spec) const;
  const WatermarkSpec& Watermark() const { return watermark_; }

  // Saving, barcode naming and two-in-one merging of the finished pictures; defined with the
  // image-file code, not here. Every file a capture writes is new: a name taken by then moves on
  // to a free one (see SaveCaptures), and the saved paths are the names the files got.
  int SaveCaptures(const std::vector<cv::Mat>& pictures, const std::filesystem::path& baseName,
                   std::vector<std::filesystem::path>& savedPaths);
  // The user said yes to replacing the existing file of the free name the prompt gave: a
  // one-picture capture saved under exactly that base name then replaces it (never a read-only
  // file). Off unless set; nothing else a capture writes ever replaces a file.
  void SetReplaceConfirmed(bool confirmed) { replaceConfirmed_ = confirmed; }
  std::filesystem::path SaveJpg(const cv::Mat& picture,
                                const std::filesystem::path& pathWithoutExtension,
                                const platform::FilePlacement& placement = NewCaptureFile());
  std::filesystem::path SaveTif(const cv::Mat& picture,
                                const std::filesystem::path& pathWithoutExtension,
                                const platform::FilePlacement& placement = NewCaptureFile());
  // The merged file takes its name by `placement` (by default a new file, see SaveJpg).
  std::filesystem::path Merge2in1(const std::filesystem::path& first,
                                  const std::filesystem::path& second,
                                  const std::filesystem::path& outputBase, bool vertical, int gap,
                                  const platform::FilePlacement& placement = NewCaptureFile());
  std::filesystem::path MergeTopBottom(const std::filesystem::path& first,
                                       const std::filesystem::path& second,
                                       const std::filesystem::path& outputBase, int mergeKind,
                                       int gap,
                                       const platform::FilePlacement& placement = NewCaptureFile());
  std::filesystem::path MergeSideBySide(const std::filesystem::path& first,
                                        const std::filesystem::path& second,
                                        const std::filesystem::path& outputBase, int mergeKind,
                                        int gap,
                                        const platform::FilePlacement& placement = NewCaptureFile());

  // Barcode data collected while pages are merged or collected; the saving code appends to it.
  std::vector<std::string>& CollectedCodes() { return collectedCodes_; }
  const std::vector<std::string>& CollectedCodes() const { return collectedCodes_; }
  const std::string& SpecialCharacterMessage() const { return specialCharacterMessage_; }
  const std::string& SavedInMessage() const { return savedInMessage_; }
  const std::string& NotRecognisedMessage() const { return notRecognisedMessage_; }
  const std::string& TooLongMessage() const { return tooLongMessage_; }
  // Followed by the path of each file of the capture that could not be written.
  const std::string& SaveFailedMessage() const { return saveFailedMessage_; }

 private:
  void ApplyColorStep(cv::Mat& picture, double factor) const;
  void ApplyShadowStep(cv::Mat& picture) const;
  bool WatermarkOn() const;
  void StampWithSettings(cv::Mat& picture);

  std::vector<std::string> collectedCodes_;
  std::string specialCharacterMessage_;
  std::string savedInMessage_;
  std::string notRecognisedMessage_;
  std::string tooLongMessage_;
  std::string saveFailedMessage_;
  bool replaceConfirmed_ = false;
  CSysParam settings_;
  WatermarkSpec watermark_;
};

}  // namespace orvane::imaging
