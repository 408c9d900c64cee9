// Small synthetic photographs for the imaging tests: a textured desk with white sheets on it.
#pragma once

#include <algorithm>
#include <numeric>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace orvane::imaging::testing {

// A brownish desk with wood-like stripes and fine noise; the same for a given size.
inline cv::Mat TexturedDesk(cv::Size size = {800, 600}) {
  cv::Mat desk(size, CV_8UC3);
  cv::RNG rng(12345);
  for (int y = 0; y < size.height; ++y) {
    auto* row = desk.ptr<cv::Vec3b>(y);
    for (int x = 0; x < size.width; ++x) {
      const int grain = static_cast<int>(12 * std::sin((x + 3 * y) * 0.05)) + rng.uniform(-10, 11);
      row[x] = cv::Vec3b(cv::saturate_cast<uchar>(45 + grain), cv::saturate_cast<uchar>(70 + grain),
                         cv::saturate_cast<uchar>(95 + grain));
    }
  }
  return desk;
}

// A darker desk with coarse grain, and blobs of grain touching the sheets that will lie on it
// (`sheets`, each a convex polygon): the edge threshold of the page finder takes the blobs for
// edges joined to the sheets' outlines.
inline cv::Mat GrainyDesk(cv::Size size, const std::vector<std::vector<cv::Point>>& sheets) {
  cv::RNG rng(2024);
  cv::Mat coarse(size.height / 5 + 2, size.width / 5 + 2, CV_32F);
  rng.fill(coarse, cv::RNG::NORMAL, 0, 14);
  cv::resize(coarse, coarse, size, 0, 0, cv::INTER_LINEAR);
  cv::Mat fine(size, CV_32F);
  rng.fill(fine, cv::RNG::NORMAL, 0, 6);
  cv::Mat level = coarse + fine + 75;
  cv::Mat grey;
  level.convertTo(grey, CV_8U);
  cv::Mat desk;
  cv::merge(std::vector<cv::Mat>{grey * 0.7, grey * 0.9, grey * 1.1}, desk);
  for (const auto& sheet : sheets) {
    for (std::size_t i = 0; i < sheet.size(); ++i) {
      const cv::Point2f a = sheet[i];
      const cv::Point2f b = sheet[(i + 1) % sheet.size()];
      cv::Point2f out(b.y - a.y, a.x - b.x);
      out *= static_cast<float>(1 / cv::norm(out));
      const cv::Point2f centre = cv::Point2f(std::accumulate(sheet.begin(), sheet.end(), cv::Point())) * (1.0f / sheet.size());
      if (out.dot(a - centre) < 0) out = -out;
      const int blobs = std::max(1, static_cast<int>(cv::norm(b - a) / 250));
      for (int k = 0; k < blobs; ++k) {
        const float t = (k + 0.5f) / blobs;
        const float radius = static_cast<float>(rng.uniform(25, 33));
        const cv::Point2f at = a + (b - a) * t + out * (radius + 1);
        cv::circle(desk, at, static_cast<int>(radius), cv::Scalar::all(rng.uniform(0, 2) ? 20 : 170), cv::FILLED);
      }
    }
  }
  return desk;
}

// The four corners of a sheet of `size` turned by `angle` degrees about `centre`.
inline std::vector<cv::Point> SheetCorners(cv::Point2f centre, cv::Size2f size, float angle) {
  cv::Point2f corners[4];
  cv::RotatedRect(centre, size, angle).points(corners);
  std::vector<cv::Point> points;
  for (const auto& corner : corners) points.emplace_back(cvRound(corner.x), cvRound(corner.y));
  return points;
}

// Draws a near-white sheet with a few text lines onto `scene`.
inline void DrawSheet(cv::Mat& scene, const std::vector<cv::Point>& corners) {
  cv::fillConvexPoly(scene, corners, cv::Scalar(232, 236, 238), cv::LINE_AA);
  const cv::Rect box = cv::boundingRect(corners);
  for (int y = box.y + box.height / 4; y < box.y + box.height * 3 / 4; y += 24) {
    const cv::Point from(box.x + box.width / 3, y);
    const cv::Point to(box.x + box.width * 2 / 3, y);
    if (cv::pointPolygonTest(corners, from, false) > 0 && cv::pointPolygonTest(corners, to, false) > 0)
      cv::line(scene, from, to, cv::Scalar(40, 40, 40), 2);
  }
}

inline cv::Mat DeskWithSheets(const std::vector<std::vector<cv::Point>>& sheets,
                              cv::Size size = {800, 600}) {
  cv::Mat scene = TexturedDesk(size);
  for (const auto& sheet : sheets) DrawSheet(scene, sheet);
  return scene;
}

}  // namespace orvane::imaging::testing
