#include "desk_photos.h"

#include <algorithm>
#include <cmath>
#include <random>

#include <opencv2/imgproc.hpp>

namespace orvane::pagecut {
namespace {

struct PageKind {
  const char* name;
  double longMm;
  double shortMm;
};

constexpr PageKind kA4{"A4", 297, 210};
constexpr PageKind kA5{"A5", 210, 148};
constexpr PageKind kCard{"ID card", 85.6, 54};

class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}
  double Uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
  int Integer(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(engine_); }
  bool Chance(double p) { return Uniform(0, 1) < p; }
  std::uint64_t Seed() { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

// Normal noise on a grid of `cell` pixels, resized smoothly to `size`.
cv::Mat SmoothNoise(Random& random, cv::Size size, int cell) {
  cv::Mat coarse(std::max(2, size.height / cell + 2), std::max(2, size.width / cell + 2), CV_32F);
  cv::RNG rng(random.Seed());
  rng.fill(coarse, cv::RNG::NORMAL, 0, 1);
  cv::Mat smooth;
  cv::resize(coarse, smooth, size, 0, 0, cv::INTER_CUBIC);
  return smooth;
}

// The desk: a base tone of 35 to 125 with wood-like streaks, blotches, a coarse grain of a few
// pixels that survives shrinking, and fine per-pixel grain.
cv::Mat Desk(Random& random, cv::Size size) {
  const double tone = random.Uniform(35, 125);
  static const cv::Vec3d kTints[] = {{0.62, 0.86, 1.18}, {0.95, 1.0, 1.05}, {1.15, 1.0, 0.88}, {0.85, 1.08, 0.95},
                                     {0.7, 0.8, 1.3}};
  const cv::Vec3d tint = kTints[random.Integer(0, 4)];
  const cv::Size low(size.width / 4, size.height / 4);

  // Streaks along a random direction, wobbling.
  const double streaks = random.Chance(0.6) ? random.Uniform(0.1, 0.35) : 0.0;
  const double direction = random.Uniform(0, CV_PI);
  const double period = random.Uniform(8, 30);  // low-resolution pixels
  const cv::Mat wobble = SmoothNoise(random, low, 60) * random.Uniform(2, 6);
  const cv::Mat blotches = SmoothNoise(random, low, random.Integer(3, 12));
  const double blotchWeight = random.Uniform(0.05, 0.16);
  cv::Mat field(low, CV_32F);
  for (int y = 0; y < low.height; ++y) {
    const float* w = wobble.ptr<float>(y);
    const float* b = blotches.ptr<float>(y);
    float* out = field.ptr<float>(y);
    for (int x = 0; x < low.width; ++x) {
      const double u = x * std::cos(direction) + y * std::sin(direction);
      const double wave = std::pow(std::abs(std::sin(2 * CV_PI * u / period + w[x])), 3.0) - 0.42;
      out[x] = static_cast<float>(-streaks * wave + blotchWeight * b[x]);
    }
  }
  cv::Mat modulation;
  cv::resize(field, modulation, size, 0, 0, cv::INTER_LINEAR);
  // Grain: specks of a few pixels, coarser ones of ten or twenty that survive shrinking, and on
  // rough desks pores of twenty to forty.
  for (const auto& [smallest, largest, weakest, strongest] :
       {std::array<double, 4>{2, 4, 0.08, 0.18}, std::array<double, 4>{8, 22, 0.1, 0.25},
        std::array<double, 4>{20, 40, 0.0, 0.3}}) {
    const int cell = random.Integer(static_cast<int>(smallest), static_cast<int>(largest));
    cv::Mat grain(size.height / cell + 2, size.width / cell + 2, CV_32F);
    cv::RNG(random.Seed()).fill(grain, cv::RNG::NORMAL, 0, random.Uniform(weakest, strongest));
    cv::resize(grain, grain, size, 0, 0, cv::INTER_LINEAR);
    modulation += grain;
  }

  const double fine = random.Uniform(3, 9);
  cv::RNG rng(random.Seed());
  cv::Mat noise(1, size.width, CV_32F);
  cv::Mat desk(size, CV_8UC3);
  for (int y = 0; y < size.height; ++y) {
    rng.fill(noise, cv::RNG::NORMAL, 0, fine);
    const float* m = modulation.ptr<float>(y);
    const float* n = noise.ptr<float>(0);
    auto* out = desk.ptr<cv::Vec3b>(y);
    for (int x = 0; x < size.width; ++x) {
      const double level = tone * (1 + m[x]) + n[x];
      for (int c = 0; c < 3; ++c) out[x][c] = cv::saturate_cast<uchar>(level * tint[c]);
    }
  }
  return desk;
}

// The page as printed, upright, `size` pixels; `mask` is its outline (rounded corners for cards).
void PageContent(Random& random, const PageKind& kind, cv::Size size, double pixelsPerMm, cv::Mat& content,
                 cv::Mat& mask) {
  const bool card = &kind == &kCard;
  const double paper = card ? random.Uniform(175, 225) : random.Uniform(218, 248);
  const cv::Vec3d tint = card ? cv::Vec3d(random.Uniform(0.85, 1.1), random.Uniform(0.9, 1.05), random.Uniform(0.85, 1.1))
                              : cv::Vec3d(random.Uniform(0.95, 1.0), random.Uniform(0.98, 1.0), 1.0);
  content.create(size, CV_8UC3);
  content.setTo(cv::Scalar(paper * tint[0], paper * tint[1], paper * tint[2]));
  const auto mm = [pixelsPerMm](double v) { return static_cast<int>(std::lround(v * pixelsPerMm)); };
  const cv::Scalar ink(random.Uniform(25, 70), random.Uniform(25, 70), random.Uniform(25, 80));
  if (card) {
    // Portrait, a band of another tint and lines of text, laid out across the card's long side.
    const bool upright = size.height > size.width;
    cv::Mat face(upright ? cv::Size(size.height, size.width) : size, CV_8UC3, cv::Scalar(paper * tint[0], paper * tint[1], paper * tint[2]));
    cv::rectangle(face, cv::Rect(mm(5), mm(12), mm(24), mm(32)), cv::Scalar(random.Uniform(70, 150), random.Uniform(70, 150), random.Uniform(80, 160)), cv::FILLED);
    const cv::Scalar band(paper * random.Uniform(0.8, 1.1), paper * random.Uniform(0.8, 1.1), paper * random.Uniform(0.8, 1.1));
    cv::rectangle(face, cv::Rect(0, 0, face.cols, mm(8)), band, cv::FILLED);
    for (double y = 16; y < 48; y += 5)
      cv::rectangle(face, cv::Rect(mm(33), mm(y), mm(random.Uniform(18, 46)), mm(2)), ink, cv::FILLED);
    if (upright)
      cv::rotate(face, content, cv::ROTATE_90_CLOCKWISE);
    else
      content = face;
  } else {
    const double margin = random.Uniform(12, 25);
    const double leading = random.Uniform(5, 8);
    const double longSide = std::max(size.width, size.height) / pixelsPerMm;
    const double shortSide = std::min(size.width, size.height) / pixelsPerMm;
    const bool portrait = size.height >= size.width;
    const double across = portrait ? shortSide : longSide;
    const double down = portrait ? longSide : shortSide;
    // Now and then a dark picture or heading near the top edge.
    if (random.Chance(0.3))
      cv::rectangle(content, cv::Rect(mm(margin), mm(margin * 0.6), mm(across - 2 * margin), mm(random.Uniform(10, 40))), ink * 1.4, cv::FILLED);
    // From a few lines (a letter) to a full page.
    const double textEnd = margin + 30 + (down - 2 * margin - 30) * (random.Chance(0.3) ? random.Uniform(0.05, 0.3) : random.Uniform(0.5, 1));
    for (double y = margin + 30; y < textEnd; y += leading) {
      for (double x = margin; x < across - margin;) {
        const double word = random.Uniform(4, 22);
        const double end = std::min(x + word, across - margin);
        cv::rectangle(content, cv::Rect(mm(x), mm(y), std::max(1, mm(end - x)), std::max(1, mm(leading * 0.45))), ink, cv::FILLED);
        x = end + random.Uniform(1.5, 3);
      }
      if (random.Chance(0.08)) y += leading;
    }
  }
  mask = cv::Mat(size, CV_8UC1, cv::Scalar(card ? 0 : 255));
  if (card) {
    const int r = mm(3);
    cv::rectangle(mask, cv::Rect(r, 0, size.width - 2 * r, size.height), 255, cv::FILLED);
    cv::rectangle(mask, cv::Rect(0, r, size.width, size.height - 2 * r), 255, cv::FILLED);
    for (const cv::Point c : {cv::Point(r, r), cv::Point(size.width - 1 - r, r), cv::Point(size.width - 1 - r, size.height - 1 - r),
                              cv::Point(r, size.height - 1 - r)})
      cv::circle(mask, c, r, 255, cv::FILLED, cv::LINE_AA);
  }
}

cv::Point2f Apply(const cv::Matx33d& h, cv::Point2f p) {
  const cv::Vec3d v = h * cv::Vec3d(p.x, p.y, 1);
  return {static_cast<float>(v[0] / v[2]), static_cast<float>(v[1] / v[2])};
}

// A page lying on the desk: where it goes and how it is seen.
struct Placement {
  const PageKind* kind;
  cv::Size pixels;     // of the upright page
  cv::Matx33d toPhoto;  // upright page pixels to photograph pixels
  Quad corners;
};

Placement Place(Random& random, const PageKind& kind, double pixelsPerMm, const cv::Matx33d& keystone) {
  Placement p{&kind, {}, {}, {}};
  const bool landscape = random.Chance(0.5);
  const double across = (landscape ? kind.longMm : kind.shortMm) * pixelsPerMm;
  const double down = (landscape ? kind.shortMm : kind.longMm) * pixelsPerMm;
  p.pixels = cv::Size(static_cast<int>(std::lround(across)), static_cast<int>(std::lround(down)));
  const double angle = random.Uniform(-25, 25) * CV_PI / 180;
  const double cx = random.Uniform(0, kPhotoWidth);
  const double cy = random.Uniform(0, kPhotoHeight);
  const double c = std::cos(angle);
  const double s = std::sin(angle);
  // Pixel centres: the page's edge lies half a pixel outside its outer pixels.
  const double ox = (p.pixels.width - 1) / 2.0;
  const double oy = (p.pixels.height - 1) / 2.0;
  const cv::Matx33d onDesk(c, -s, cx - c * ox + s * oy, s, c, cy - s * ox - c * oy, 0, 0, 1);
  p.toPhoto = keystone * onDesk;
  const float right = p.pixels.width - 0.5f;
  const float bottom = p.pixels.height - 0.5f;
  p.corners = {Apply(p.toPhoto, {-0.5f, -0.5f}), Apply(p.toPhoto, {right, -0.5f}), Apply(p.toPhoto, {right, bottom}),
               Apply(p.toPhoto, {-0.5f, bottom})};
  return p;
}

bool Inside(const Quad& quad, cv::Size size, double margin) {
  return std::all_of(quad.begin(), quad.end(), [&](const cv::Point2f& p) {
    return p.x >= margin && p.y >= margin && p.x <= size.width - margin && p.y <= size.height - margin;
  });
}

std::vector<cv::Point2f> Grown(const Quad& quad, double by) {
  cv::Point2f centre(0, 0);
  for (const auto& p : quad) centre += p * 0.25f;
  std::vector<cv::Point2f> grown;
  for (const auto& p : quad) {
    const cv::Point2f d = p - centre;
    grown.push_back(p + d * static_cast<float>(by / std::max(1.0, cv::norm(d))));
  }
  return grown;
}

bool Apart(const Quad& a, const Quad& b, double gap) {
  std::vector<cv::Point2f> overlap;
  return cv::intersectConvexConvex(Grown(a, gap / 2), Grown(b, gap / 2), overlap) <= 0;
}

// Draws the page and its soft shadow into the photograph.
void DrawPage(Random& random, cv::Mat& photo, const Placement& page, double pixelsPerMm, cv::Point2f shadowShift) {
  cv::Mat content;
  cv::Mat mask;
  PageContent(random, *page.kind, page.pixels, pixelsPerMm, content, mask);
  const int pad = 48;
  cv::Rect box = cv::boundingRect(std::vector<cv::Point2f>(page.corners.begin(), page.corners.end()));
  box = cv::Rect(box.x - pad, box.y - pad, box.width + 2 * pad, box.height + 2 * pad) & cv::Rect(cv::Point(), photo.size());
  const cv::Matx33d toBox = cv::Matx33d(1, 0, -box.x, 0, 1, -box.y, 0, 0, 1) * page.toPhoto;
  cv::Mat warped;
  cv::Mat cover;
  cv::Mat shadow;
  cv::warpPerspective(content, warped, cv::Mat(toBox), box.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
  cv::warpPerspective(mask, cover, cv::Mat(toBox), box.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
  const cv::Matx33d shifted = cv::Matx33d(1, 0, shadowShift.x, 0, 1, shadowShift.y, 0, 0, 1) * toBox;
  cv::warpPerspective(mask, shadow, cv::Mat(shifted), box.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT);
  cv::GaussianBlur(shadow, shadow, {0, 0}, random.Uniform(3, 10));
  const double darkness = random.Uniform(0.15, 0.4) / 255.0;
  cv::Mat area = photo(box);
  for (int y = 0; y < box.height; ++y) {
    auto* out = area.ptr<cv::Vec3b>(y);
    const auto* in = warped.ptr<cv::Vec3b>(y);
    const uchar* m = cover.ptr<uchar>(y);
    const uchar* sh = shadow.ptr<uchar>(y);
    for (int x = 0; x < box.width; ++x) {
      const double keep = 1 - darkness * sh[x];
      const double a = m[x] / 255.0;
      for (int c = 0; c < 3; ++c) out[x][c] = cv::saturate_cast<uchar>(out[x][c] * keep * (1 - a) + in[x][c] * a);
    }
  }
}

}  // namespace

DeskPhoto MakeDeskPhoto(int index, std::uint64_t seed, cv::Size size) {
  Random random(seed * 1000003ULL + static_cast<std::uint64_t>(index));
  DeskPhoto photo;
  photo.picture = Desk(random, size);
  const double sx = size.width / static_cast<double>(kPhotoWidth);
  const double sy = size.height / static_cast<double>(kPhotoHeight);

  // Slight keystone: one side of the frame seen up to 3 % narrower at each end.
  const double k = random.Uniform(0.003, 0.03);
  const cv::Point2f frame[] = {{0, 0}, {float(kPhotoWidth), 0}, {float(kPhotoWidth), float(kPhotoHeight)}, {0, float(kPhotoHeight)}};
  cv::Point2f seen[4];
  std::copy(std::begin(frame), std::end(frame), seen);
  const int far = random.Integer(0, 3);  // the side farther from the lens
  const cv::Point2f along = frame[(far + 1) % 4] - frame[far];
  seen[far] += along * static_cast<float>(k);
  seen[(far + 1) % 4] -= along * static_cast<float>(k);
  const cv::Matx33d scaleToSize(sx, 0, 0, 0, sy, 0, 0, 0, 1);
  const cv::Matx33d keystone = scaleToSize * cv::Matx33d(cv::getPerspectiveTransform(frame, seen));

  const bool two = index % 5 == 4;
  std::vector<const PageKind*> kinds;
  double pixelsPerMm;
  if (two) {
    static const PageKind* kPairs[][2] = {{&kA4, &kCard}, {&kA5, &kA5}, {&kA5, &kCard}, {&kA4, &kA5}};
    const auto& pair = kPairs[(index / 5) % 4];
    kinds = {pair[0], pair[1]};
    pixelsPerMm = random.Uniform(7.5, 9.5);
  } else {
    const double pick = random.Uniform(0, 1);
    kinds = {pick < 0.5 ? &kA4 : pick < 0.8 ? &kA5 : &kCard};
    pixelsPerMm = kinds[0] == &kCard ? random.Uniform(10, 16) : random.Uniform(8.5, 12);
  }
  const double margin = 40 * sx;
  std::vector<Placement> placed;
  for (int attempt = 0; placed.size() < kinds.size(); ++attempt) {
    if (attempt % 200 == 199) pixelsPerMm *= 0.95;  // does not fit: take the photograph from higher up
    placed.clear();
    for (const PageKind* kind : kinds) {
      Placement p = Place(random, *kind, pixelsPerMm, keystone);
      for (int tries = 0; tries < 50 && !Inside(p.corners, size, margin); ++tries) p = Place(random, *kind, pixelsPerMm, keystone);
      if (!Inside(p.corners, size, margin)) break;
      if (!placed.empty() && !Apart(placed[0].corners, p.corners, 80 * sx)) break;
      placed.push_back(p);
    }
  }
  const double lightAngle = random.Uniform(0, 2 * CV_PI);
  const cv::Point2f shadowShift(static_cast<float>(-std::cos(lightAngle) * random.Uniform(3, 12) * sx),
                                static_cast<float>(-std::sin(lightAngle) * random.Uniform(3, 12) * sx));
  for (const Placement& p : placed) {
    DrawPage(random, photo.picture, p, pixelsPerMm * sx, shadowShift);
    photo.pages.push_back({p.kind->name, p.corners});
  }

  // Light falling off away from the lamp, a little vignetting, lens blur and sensor noise.
  const cv::Size low(std::max(2, size.width / 8), std::max(2, size.height / 8));
  cv::Mat gain(low, CV_32F);
  const double falloff = random.Uniform(0.2, 0.5);
  const double vignette = random.Uniform(0.05, 0.2);
  for (int y = 0; y < low.height; ++y) {
    float* g = gain.ptr<float>(y);
    for (int x = 0; x < low.width; ++x) {
      const double u = (x / double(low.width) - 0.5) * std::cos(lightAngle) + (y / double(low.height) - 0.5) * std::sin(lightAngle);
      const double r2 = std::pow(x / double(low.width) - 0.5, 2) + std::pow(y / double(low.height) - 0.5, 2);
      g[x] = static_cast<float>((1 - falloff * (u + 0.7) / 1.4) * (1 - vignette * r2 * 2));
    }
  }
  cv::resize(gain, gain, size, 0, 0, cv::INTER_LINEAR);
  cv::GaussianBlur(photo.picture, photo.picture, {0, 0}, random.Uniform(0.7, 1.5) * sx);
  cv::RNG rng(random.Seed());
  const double sensor = random.Uniform(1.5, 4);
  cv::Mat noise(1, size.width, CV_32F);
  for (int y = 0; y < size.height; ++y) {
    rng.fill(noise, cv::RNG::NORMAL, 0, sensor);
    const float* g = gain.ptr<float>(y);
    const float* n = noise.ptr<float>(0);
    auto* out = photo.picture.ptr<cv::Vec3b>(y);
    for (int x = 0; x < size.width; ++x)
      for (int c = 0; c < 3; ++c) out[x][c] = cv::saturate_cast<uchar>(out[x][c] * g[x] + n[x]);
  }
  return photo;
}

double Jaccard(const Quad& a, const Quad& b) {
  // Hulls, so that a crossed detection is still measured by the area it covers.
  std::vector<cv::Point2f> pa;
  std::vector<cv::Point2f> pb;
  cv::convexHull(std::vector<cv::Point2f>(a.begin(), a.end()), pa);
  cv::convexHull(std::vector<cv::Point2f>(b.begin(), b.end()), pb);
  const double areaA = std::abs(cv::contourArea(pa));
  const double areaB = std::abs(cv::contourArea(pb));
  if (areaA <= 0 || areaB <= 0) return 0;
  std::vector<cv::Point2f> common;
  const double both = std::max(0.0f, cv::intersectConvexConvex(pa, pb, common));
  return both / (areaA + areaB - both);
}

double BestJaccard(const Quad& truth, const std::vector<Quad>& found) {
  double best = 0;
  for (const Quad& quad : found) best = std::max(best, Jaccard(truth, quad));
  return best;
}

Quad QuadOf(const cv::RotatedRect& rect) {
  cv::Point2f points[4];
  rect.points(points);
  return {points[0], points[1], points[2], points[3]};
}

Quad BoundsOfPages(const std::vector<DeskPage>& pages) {
  std::vector<cv::Point2f> all;
  for (const DeskPage& page : pages) all.insert(all.end(), page.corners.begin(), page.corners.end());
  return QuadOf(cv::minAreaRect(all));
}

double JaccardRoundPages(const std::vector<DeskPage>& pages, const Quad& cut) {
  if (pages.size() == 1) return Jaccard(pages[0].corners, cut);
  const Quad smallest = BoundsOfPages(pages);
  double score = Jaccard(smallest, cut);
  const cv::Point2f side = cut[1] - cut[0];
  const double length = cv::norm(side);
  if (length <= 0) return score;
  const cv::Point2f u(static_cast<float>(side.x / length), static_cast<float>(side.y / length));
  const cv::Point2f v(-u.y, u.x);
  float uMin = 1e30f, uMax = -1e30f, vMin = 1e30f, vMax = -1e30f;
  for (const DeskPage& page : pages) {
    for (const cv::Point2f& p : page.corners) {
      uMin = std::min(uMin, p.dot(u));
      uMax = std::max(uMax, p.dot(u));
      vMin = std::min(vMin, p.dot(v));
      vMax = std::max(vMax, p.dot(v));
    }
  }
  const Quad along = {u * uMin + v * vMin, u * uMax + v * vMin, u * uMax + v * vMax, u * uMin + v * vMax};
  const auto area = [](const Quad& q) { return std::abs(cv::contourArea(std::vector<cv::Point2f>(q.begin(), q.end()))); };
  if (area(along) <= 1.02 * area(smallest)) score = std::max(score, Jaccard(along, cut));
  return score;
}

std::vector<Quad> OpenCvRecipe(const cv::Mat& photo) {
  const double s = 500.0 / photo.rows;
  cv::Mat small;
  cv::resize(photo, small, {}, s, s, cv::INTER_AREA);
  cv::cvtColor(small, small, cv::COLOR_BGR2GRAY);
  cv::GaussianBlur(small, small, {5, 5}, 0);
  cv::Mat edges;
  cv::Canny(small, edges, 75, 200);
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(edges, contours, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  std::sort(contours.begin(), contours.end(),
            [](const auto& a, const auto& b) { return cv::contourArea(a) > cv::contourArea(b); });
  for (std::size_t i = 0; i < std::min<std::size_t>(5, contours.size()); ++i) {
    std::vector<cv::Point> polygon;
    cv::approxPolyDP(contours[i], polygon, 0.02 * cv::arcLength(contours[i], true), true);
    if (polygon.size() != 4) continue;
    Quad quad;
    for (int k = 0; k < 4; ++k) quad[k] = cv::Point2f(polygon[k]) * static_cast<float>(1 / s);
    return {quad};
  }
  return {};
}

}  // namespace orvane::pagecut
