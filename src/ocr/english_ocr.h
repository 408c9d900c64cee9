// English text recognition through libtesseract with its "eng" data: the page as one uniform block
// of text, read from an 8-bit grey picture.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include <opencv2/core.hpp>

namespace orvane::ocr {

// The "tessdata" folder of the program folder when it holds "eng.traineddata"; otherwise empty,
// and Tesseract looks in its own place (Debian's tessdata, or TESSDATA_PREFIX).
std::filesystem::path EnglishDataFolder(const std::filesystem::path& programFolder);

// The UTF-8 text of `grey` (8-bit, one channel; a BGR picture is turned grey first). Nothing when
// the engine cannot start with the "eng" data in `dataFolder` (empty: Tesseract's own place), or
// when `stop` said yes: the engine asks it between words, from the calling thread, and a page
// stopped gives no text at all.
std::optional<std::string> RecognizeEnglish(const cv::Mat& grey, const std::filesystem::path& dataFolder,
                                            const std::function<bool()>& stop = {});

}  // namespace orvane::ocr
