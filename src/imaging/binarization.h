// Cleaning of cut-out pages: background whitening for grey pictures, black and white conversion,
// and removal of specks and border lines from black-and-white pictures. Black-and-white pictures
// are one-channel 8-bit matrices holding only 0 (ink) and 255 (paper). Stateless; any thread.
#pragma once

#include <opencv2/core.hpp>

namespace orvane::imaging {

// Holds the background whitening; carries no data, so one made on the stack costs nothing.
class CImageProcess {
 public:
  CImageProcess() = default;
  virtual ~CImageProcess() = default;

  // Flattens an unevenly lit background to 245 while ink keeps its value. Colour pictures (BGR)
  // are flattened on their HSV value channel. False, `out` untouched, for an empty source.
  bool WhitenBackground(const cv::Mat& source, cv::Mat& out) const;
};

// Black and white picture of `source` (grey or BGR). In busy neighbourhoods (K x K contrast above
// its Otsu level) a pixel is paper when brighter than max - factor * contrast; in flat ones when it
// is not darker than the smoothed background by more than a capped Otsu offset. `medianBase`
// chooses the background median (aperture 2 * (medianBase / 20) + 1 on a tenth-size copy).
// Empty for an empty source. Pictures too small for the tenth-size copy (under 10 pixels on a
// side) use the plain contrast rule with a flat background.
cv::Mat BinarizeDocument(const cv::Mat& source, int elementSize, int medianBase, double factor);

// Whitens every 8-connected dark (< 125) component of fewer than `minimumSize` pixels. False for a
// picture with more than one channel; `minimumSize` <= 0 changes nothing.
bool RemoveSmallSpecks(cv::Mat& picture, int minimumSize);

// Whitens dark runs of at least `runLength` pixels lying along the border within `stripWidth`
// pixels of each edge (top, bottom, left, right). False for an empty picture; a picture whose side
// is shorter than the strip width keeps that side's strips as they are.
bool CleanBorderStrips(cv::Mat& picture, int stripWidth, int runLength);

}  // namespace orvane::imaging
