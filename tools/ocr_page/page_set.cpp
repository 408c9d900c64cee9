#include "page_set.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <random>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "app/sys_param.h"
#include "imaging/capture_pipeline.h"
#include "ocr/class_list.h"
#include "ocr/ocr_engine.h"

namespace orvane::ocrpage {
namespace {

constexpr int kPageWidth = 2480;
constexpr int kPageHeight = 3508;
constexpr int kMargin = 200;
constexpr int kLevelOneHanzi = 3755;
constexpr int kPaper = 232;
constexpr int kInk = 30;
constexpr int kCharactersPerPage = 800;
// Where the base line lies below the top of a line's em box.
constexpr double kAscent = 0.88;
constexpr int kRule = 3;  // a table's rule at 300 DPI: a quarter of a millimetre

std::string Utf8(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
  return out;
}

std::u32string Decode(const std::string& utf8) {
  std::u32string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = extra == 0 ? b : b & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k) c = (c << 6) | (utf8[i + k] & 0x3F);
    out += c;
    i += extra + 1;
  }
  return out;
}

bool IsAsciiWord(char32_t c) { return c < 0x80 && c != U' '; }
// Marks that never start a line, and marks that never end one.
bool IsClosing(char32_t c) { return std::u32string_view(U"，。、；：？！”’）》」』〕】").find(c) != std::u32string_view::npos; }
bool IsOpening(char32_t c) { return std::u32string_view(U"“‘（《「『〔【").find(c) != std::u32string_view::npos; }

// Sets characters into the ink picture on a base line, with the font's advances; a character the
// font cannot draw is left out of the picture and the text alike.
class Typesetter {
 public:
  Typesetter(const ocrtools::FontFace& font, cv::Mat& ink) : renderer_(font), ink_(ink) {}

  int Width(std::u32string_view text, int pixels) {
    int width = 0;
    for (char32_t c : text) width += Glyph(c, pixels).advance;
    return width;
  }

  // Returns the pen's position after the text.
  int Set(std::u32string_view text, int x, int baseline, int pixels, std::string* truth) {
    for (char32_t c : text) {
      const ocrtools::GlyphRenderer::Placed& glyph = Glyph(c, pixels);
      if (!glyph.picture.empty()) {
        const cv::Rect box(x + glyph.left, baseline - glyph.top, glyph.picture.cols, glyph.picture.rows);
        const cv::Rect inside = box & cv::Rect(0, 0, ink_.cols, ink_.rows);
        if (inside.area() == 0) continue;  // off the paper: neither drawn nor part of the text
        cv::Mat target = ink_(inside);
        cv::max(target, glyph.picture(cv::Rect(inside.tl() - box.tl(), inside.size())), target);
        *truth += Utf8(c);
      } else if (c == U' ' || c == U'\u3000') {
        *truth += ' ';
      }
      x += glyph.advance;
    }
    return x;
  }

 private:
  const ocrtools::GlyphRenderer::Placed& Glyph(char32_t c, int pixels) {
    const auto key = std::make_pair(c, pixels);
    auto found = glyphs_.find(key);
    if (found != glyphs_.end()) return found->second;
    ocrtools::GlyphRenderer::Placed placed;
    if (c == U'\u3000') {
      placed.advance = pixels;
    } else if (c == U' ' || renderer_.HasGlyph(c)) {
      placed = renderer_.Place(c, pixels);
      if (c == U' ' && placed.advance <= 0) placed.advance = pixels / 4;
    }
    return glyphs_.emplace(key, std::move(placed)).first->second;
  }

  ocrtools::GlyphRenderer renderer_;
  cv::Mat& ink_;
  std::map<std::pair<char32_t, int>, ocrtools::GlyphRenderer::Placed> glyphs_;
};

// Random text of the kinds pages carry.
class Writer {
 public:
  explicit Writer(std::uint64_t seed) : random_(seed) {
    const std::vector<ocrtools::TemplateClass> classes = ocrtools::TemplateClasses();
    for (int i = 0; i < kLevelOneHanzi; ++i) hanzi_.push_back(classes[i].codePoint);
  }

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }
  bool Chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  template <std::size_t N>
  const char32_t* Pick(const char32_t* const (&items)[N]) {
    return items[Between(0, static_cast<int>(N) - 1)];
  }

  std::u32string Hanzi(int count) {
    std::u32string text;
    for (int i = 0; i < count; ++i) text += hanzi_[Between(0, kLevelOneHanzi - 1)];
    return text;
  }
  std::u32string Digits(int count) {
    std::u32string text;
    for (int i = 0; i < count; ++i) text += static_cast<char32_t>(U'0' + Between(0, 9));
    return text;
  }
  std::u32string Number(int low, int high) { return Ascii(std::to_string(Between(low, high))); }
  std::u32string Amount() { return Number(1, Chance(0.5) ? 99 : 9999) + U"." + Digits(2); }
  std::u32string Date() {
    return Number(2015, 2026) + U"年" + Number(1, 12) + U"月" + Number(1, 28) + U"日";
  }
  std::u32string Code(int count) {
    std::u32string text;
    for (int i = 0; i < count; ++i)
      text += Chance(0.7) ? static_cast<char32_t>(U'0' + Between(0, 9)) : static_cast<char32_t>(U'A' + Between(0, 25));
    return text;
  }
  std::u32string LatinWord() {
    static const char32_t* const kWords[] = {U"PDF",   U"USB",  U"March", U"Scan",    U"Orvane", U"DPI",
                                             U"A4",    U"ID",   U"Text",  U"Camera",  U"data",   U"page",
                                             U"Model", U"Total", U"invoice", U"Office", U"Email", U"Word"};
    return Pick(kWords);
  }
  // Something a sentence quotes as a number: a date, a share, an amount, a count.
  std::u32string NumberWord() {
    switch (Between(0, 5)) {
      case 0:
        return Date();
      case 1:
        return Number(1, 99) + U"%";
      case 2:
        return Amount();
      case 3:
        return Number(2, 12) + U"月";
      case 4:
        return U"0." + Digits(2);
      default:
        return Number(3, 4096);
    }
  }

  // Running text in paragraphs: clauses of characters with the odd number, Latin word, quotation
  // and aside, ended by the marks Chinese uses.
  std::vector<std::u32string> Paragraphs(int characters) {
    std::vector<std::u32string> paragraphs;
    int written = 0;
    while (written < characters) {
      std::u32string paragraph;
      const int sentences = Between(2, 5);
      for (int s = 0; s < sentences; ++s) {
        const int clauses = Between(1, 4);
        for (int c = 0; c < clauses; ++c) {
          paragraph += Clause();
          static const char32_t* const kBetween[] = {U"，", U"，", U"，", U"，", U"，", U"、", U"；", U"："};
          paragraph += c + 1 < clauses ? Pick(kBetween) : Chance(0.8) ? U"。" : Chance(0.5) ? U"？" : U"！";
        }
      }
      written += static_cast<int>(paragraph.size());
      paragraphs.push_back(std::move(paragraph));
    }
    return paragraphs;
  }

 private:
  std::u32string Clause() {
    std::u32string clause = Hanzi(Between(2, 6));
    if (Chance(0.2)) clause += U"“" + Hanzi(Between(2, 6)) + U"”";
    if (Chance(0.12)) clause += U" " + NumberWord() + U" ";
    if (Chance(0.07)) clause += U" " + LatinWord() + U" ";
    if (Chance(0.05)) clause += U"（" + Hanzi(Between(2, 5)) + U"）";
    clause += Hanzi(Between(1, 6));
    return clause;
  }

  static std::u32string Ascii(const std::string& text) { return {text.begin(), text.end()}; }

  std::mt19937_64 random_;
  std::vector<char32_t> hanzi_;
};

// The units a line may break between: a Latin word or number whole, an opening mark with what
// follows it, a closing mark with what precedes it.
std::vector<std::u32string> BreakUnits(const std::u32string& text) {
  std::vector<std::u32string> units;
  bool openPending = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t c = text[i];
    const bool joinsPrevious = !units.empty() && (openPending || IsClosing(c) ||
                                                 (IsAsciiWord(c) && IsAsciiWord(units.back().back())));
    if (joinsPrevious)
      units.back() += c;
    else
      units.emplace_back(1, c);
    openPending = IsOpening(c);
  }
  return units;
}

struct Lines {
  int pixels;
  int lineHeight;
  int y;  // top of the next line's em box
};

void DrawRect(cv::Mat& ink, const cv::Rect& r, std::vector<cv::Rect>* nonText) {
  ink(r & cv::Rect(0, 0, ink.cols, ink.rows)).setTo(255);
  nonText->push_back(r);
}

// A QR code's look: three finder squares and random modules, black on a quiet zone.
cv::Mat QrLikeCode(Writer& writer, int modules, int module) {
  cv::Mat grid(modules, modules, CV_8UC1, cv::Scalar(0));
  for (int r = 0; r < modules; ++r)
    for (int c = 0; c < modules; ++c) grid.at<std::uint8_t>(r, c) = writer.Chance(0.5) ? 255 : 0;
  for (const cv::Point corner : {cv::Point(0, 0), cv::Point(modules - 7, 0), cv::Point(0, modules - 7)}) {
    grid(cv::Rect(corner.x, corner.y, 7, 7)).setTo(255);
    grid(cv::Rect(corner.x + 1, corner.y + 1, 5, 5)).setTo(0);
    grid(cv::Rect(corner.x + 2, corner.y + 2, 3, 3)).setTo(255);
  }
  cv::Mat code;
  cv::resize(grid, code, {}, module, module, cv::INTER_NEAREST);
  return code;
}

// A portrait's look: a lit background, a head and shoulders with soft shading and the texture of
// a photograph, as ink coverage.
cv::Mat PhotographLike(Writer& writer, cv::Size size) {
  cv::Mat light(size, CV_32F);
  const double tilt = writer.Between(-40, 40) / 100.0;
  for (int y = 0; y < size.height; ++y)
    for (int x = 0; x < size.width; ++x)
      light.at<float>(y, x) = static_cast<float>(0.75 + 0.2 * tilt * (x - size.width / 2.0) / size.width -
                                                 0.15 * y / size.height);
  const cv::Point centre(size.width / 2 + writer.Between(-20, 20), size.height * 2 / 5);
  cv::ellipse(light, cv::Point(size.width / 2, size.height + size.height / 6), {size.width / 2, size.height / 3}, 0, 0,
              360, cv::Scalar(0.25), cv::FILLED);
  cv::ellipse(light, centre, {size.width / 5, size.height / 4}, 0, 0, 360, cv::Scalar(0.55), cv::FILLED);
  cv::ellipse(light, centre - cv::Point(0, size.height / 10), {size.width / 5 + 8, size.height / 7}, 0, 180, 360,
              cv::Scalar(0.12), cv::FILLED);
  cv::Mat texture(size.height / 6, size.width / 6, CV_32F);
  cv::RNG(writer.Between(0, 1 << 30)).fill(texture, cv::RNG::NORMAL, 0.0, 0.08);
  cv::resize(texture, texture, size, 0, 0, cv::INTER_CUBIC);
  light += texture;
  cv::GaussianBlur(light, light, {0, 0}, 3);
  cv::Mat coverage;
  light.convertTo(coverage, CV_8U, -255, 255);
  return coverage;
}

void SetProse(Typesetter& setter, Writer& writer, Lines& lines, std::string* text) {
  const int left = kMargin;
  const int right = kPageWidth - kMargin;
  for (const std::u32string& paragraph : writer.Paragraphs(kCharactersPerPage)) {
    if (lines.y + lines.pixels > kPageHeight - kMargin) break;
    int x = left + 2 * lines.pixels;  // the first line indented by two characters
    for (const std::u32string& unit : BreakUnits(paragraph)) {
      const int width = setter.Width(unit, lines.pixels);
      if (x + width > right && x > left) {
        *text += "\n";
        lines.y += lines.lineHeight;
        x = left;
        if (lines.y + lines.pixels > kPageHeight - kMargin) return;
      }
      if (x == left && unit == U" ") continue;
      x = setter.Set(unit, x, lines.y + static_cast<int>(kAscent * lines.pixels), lines.pixels, text);
    }
    *text += "\n";
    lines.y += lines.lineHeight;
  }
}

// One line of cells, each set from its column's left edge.
void SetRow(Typesetter& setter, Lines& lines, const std::vector<int>& columns, const std::vector<std::u32string>& cells,
            std::string* text, int pixels = 0) {
  const int size = pixels ? pixels : lines.pixels;
  for (std::size_t i = 0; i < cells.size() && i < columns.size(); ++i) {
    if (i) *text += ' ';
    setter.Set(cells[i], columns[i], lines.y + static_cast<int>(kAscent * size), size, text);
  }
  *text += "\n";
  lines.y += size + lines.lineHeight - lines.pixels;
}

void SetForm(Typesetter& setter, Writer& writer, Lines& lines, cv::Mat& ink, std::string* text,
             std::vector<cv::Rect>* nonText) {
  const int left = kMargin;
  const int right = kPageWidth - kMargin;
  const int width = right - left;
  const int em = lines.pixels;

  // The title, larger, with the QR code at the right margin.
  const cv::Mat code = QrLikeCode(writer, 29, std::max(8, em / 5));
  const cv::Rect codeBox(right - code.cols, lines.y, code.cols, code.rows);
  code.copyTo(ink(codeBox));
  nonText->push_back(codeBox);
  const int title = em * 8 / 5;
  SetRow(setter, lines, {left + width / 4}, {U"增值税专用发票"}, text, title);
  lines.y = std::max(lines.y, codeBox.y + codeBox.height / 2);

  const int half = left + width * 9 / 20;
  SetRow(setter, lines, {left, half}, {U"发票代码：" + writer.Digits(12), U"发票号码：" + writer.Digits(8)}, text);
  lines.y = std::max(lines.y, codeBox.y + codeBox.height + em / 2);
  SetRow(setter, lines, {left, half},
         {U"开票日期：" + writer.Date(),
          U"校验码：" + writer.Digits(5) + U" " + writer.Digits(5) + U" " + writer.Digits(5)},
         text);
  SetRow(setter, lines, {left, half}, {U"购买方名称：" + writer.Hanzi(writer.Between(5, 8)),
                                      U"纳税人识别号：" + writer.Code(18)}, text);
  SetRow(setter, lines, {left, half},
         {U"地址、电话：" + writer.Hanzi(writer.Between(4, 6)) + U" " + writer.Digits(11),
          U"开户行及账号：" + writer.Hanzi(4) + U" " + writer.Digits(writer.Between(12, 16))},
         text);

  // The table of goods, ruled all round and between its columns.
  // Columns in ems (wide enough for 14-point text on A4): name, model, unit, count, price, sum,
  // rate, tax.
  static const double kColumnEms[] = {0, 6.5, 11.5, 14, 17.5, 22, 26.5, 29.5, 34};
  std::vector<int> columns;
  for (double ems : kColumnEms) columns.push_back(left + em / 2 + static_cast<int>(ems * em));
  const int tableRight = std::min(right, columns.back());
  columns.pop_back();
  const int tableTop = lines.y - (lines.lineHeight - em) / 2 - em / 5;
  std::vector<int> ruleRows{tableTop};
  SetRow(setter, lines, columns, {U"货物或服务名称", U"规格型号", U"单位", U"数量", U"单价", U"金额", U"税率", U"税额"},
         text);
  ruleRows.push_back(lines.y - (lines.lineHeight - em) / 2 - em / 5);
  static const char32_t* const kUnits[] = {U"个", U"台", U"件", U"套", U"张", U"本"};
  static const char32_t* const kRates[] = {U"13%", U"9%", U"6%", U"3%"};
  const int rows = writer.Between(4, 6);
  for (int r = 0; r < rows; ++r) {
    const std::u32string model =
        writer.Chance(0.5) ? writer.LatinWord() + writer.Digits(writer.Between(1, 3)) : writer.Code(writer.Between(3, 6));
    SetRow(setter, lines, columns,
           {writer.Hanzi(writer.Between(2, 5)), model, writer.Pick(kUnits), writer.Number(1, 500), writer.Amount(),
            writer.Amount(), writer.Pick(kRates), writer.Amount()},
           text);
  }
  SetRow(setter, lines, {columns[0], columns[5], columns[7]}, {U"合计", writer.Amount(), writer.Amount()}, text);
  ruleRows.push_back(lines.y - (lines.lineHeight - em) / 2 - em / 5);
  const int tableLeft = left;
  for (int y : ruleRows) DrawRect(ink, {tableLeft, y, tableRight - tableLeft, kRule}, nonText);
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const int x = c == 0 ? tableLeft : columns[c] - em / 2;
    DrawRect(ink, {x, ruleRows.front(), kRule, ruleRows.back() - ruleRows.front() + kRule}, nonText);
  }
  DrawRect(ink, {tableRight, ruleRows.front(), kRule, ruleRows.back() - ruleRows.front() + kRule}, nonText);
  lines.y += em / 2;

  static const char32_t* const kCapitals[] = {U"壹", U"贰", U"叁", U"肆", U"伍", U"陆", U"柒", U"捌", U"玖"};
  std::u32string capitals;
  for (const char32_t* unit : {U"仟", U"佰", U"拾", U"圆"}) capitals += std::u32string(writer.Pick(kCapitals)) + unit;
  SetRow(setter, lines, {left, half}, {U"价税合计（大写）" + capitals + U"整", U"（小写）" + writer.Amount()}, text);
  SetRow(setter, lines, {left},
         {U"Invoice No. " + writer.Digits(8) + U" of " + writer.Number(1, 28) + U" March " + writer.Number(2015, 2026) +
          U", Total " + writer.Amount() + U" CNY, Tax " + writer.Number(3, 13) + U"%"},
         text);
  SetRow(setter, lines, {left},
         {U"Seller: Orvane Scan Ltd., Tel " + writer.Digits(3) + U" " + writer.Digits(4) + U" " + writer.Digits(4) +
          U", Model " + writer.LatinWord() + writer.Digits(3)},
         text);
  SetRow(setter, lines, {left, half},
         {U"销售方名称：" + writer.Hanzi(writer.Between(5, 8)), U"纳税人识别号：" + writer.Code(18)}, text);

  // Remarks in running text beside a photograph at the right margin.
  const cv::Size photoSize(em * 7, em * 9);
  const cv::Rect photoBox(right - photoSize.width,
                          std::min(lines.y + em / 2, kPageHeight - kMargin / 2 - photoSize.height), photoSize.width,
                          photoSize.height);
  cv::Mat target = ink(photoBox);
  cv::max(target, PhotographLike(writer, photoSize), target);
  nonText->push_back(photoBox);
  const int remarksRight = photoBox.x - em;
  std::u32string remarks = U"备注：";
  for (const std::u32string& paragraph : writer.Paragraphs(180)) remarks += paragraph;
  int x = left;
  for (const std::u32string& unit : BreakUnits(remarks)) {
    if (lines.y + em > kPageHeight - kMargin) break;
    const int unitWidth = setter.Width(unit, em);
    if (x + unitWidth > (lines.y < photoBox.y + photoBox.height + em / 2 ? remarksRight : right) && x > left) {
      *text += "\n";
      lines.y += lines.lineHeight;
      x = left;
    }
    if (x == left && unit == U" ") continue;
    x = setter.Set(unit, x, lines.y + static_cast<int>(kAscent * em), em, text);
  }
  *text += "\n";
}

}  // namespace

std::vector<SyntheticPage> MakePages(const ocrtools::FontFace& font, const std::vector<double>& points, PageKind kind,
                                     std::uint64_t seed) {
  std::vector<SyntheticPage> pages;
  for (std::size_t p = 0; p < points.size(); ++p) {
    SyntheticPage page;
    page.kind = kind;
    page.points = points[p];
    cv::Mat ink(kPageHeight, kPageWidth, CV_8UC1, cv::Scalar(0));
    Typesetter setter(font, ink);
    // Each size has its own text, whatever other sizes are asked for.
    const auto tenths = static_cast<std::uint64_t>(std::lround(points[p] * 10));
    Writer writer(seed * 1009 + tenths * 31 + (kind == PageKind::kForm ? 7 : 0));
    const int pixels = static_cast<int>(std::lround(points[p] * 300 / 72));
    // Line spacing from a tight 1.3 to an airy 1.8 of the body size.
    Lines lines{pixels, pixels * writer.Between(13, 18) / 10, kMargin};
    if (kind == PageKind::kProse)
      SetProse(setter, writer, lines, &page.text);
    else
      SetForm(setter, writer, lines, ink, &page.text, &page.nonText);

    cv::Mat picture;
    ink.convertTo(picture, CV_32F, -(kPaper - kInk) / 255.0, kPaper);
    page.ink = std::move(ink);
    cv::GaussianBlur(picture, picture, {3, 3}, 0.7);
    cv::Mat noise(picture.size(), CV_32F);
    cv::RNG(seed * 7 + tenths).fill(noise, cv::RNG::NORMAL, 0.0, 6.0);
    picture += noise;
    picture.convertTo(page.picture, CV_8U);
    pages.push_back(std::move(page));
  }
  return pages;
}

cv::Mat PhotographOnDesk(const cv::Mat& ink, std::uint64_t seed) {
  constexpr int kWidth = 4160;
  constexpr int kHeight = 3120;
  std::mt19937_64 random(seed);
  auto uniform = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
  auto either = [&] { return uniform(0, 1) < 0.5 ? -1.0 : 1.0; };

  // Where the page lies: most of the frame's height, turned 1 to 4 degrees, the far edge a little
  // narrower than the near one.
  const double scale = uniform(0.82, 0.88) * kHeight / ink.rows;
  const double w = ink.cols * scale;
  const double h = ink.rows * scale;
  const double keystone = uniform(0.015, 0.035) * w;
  const double degrees = either() * uniform(1.0, 4.0);
  const cv::Point2d centre(kWidth / 2.0 + uniform(-120, 120), kHeight / 2.0 + uniform(-60, 60));
  const double angle = degrees * std::numbers::pi / 180.0;
  auto place = [&](double x, double y) {
    const double rx = x * std::cos(angle) - y * std::sin(angle);
    const double ry = x * std::sin(angle) + y * std::cos(angle);
    return cv::Point2f(static_cast<float>(centre.x + rx), static_cast<float>(centre.y + ry));
  };
  const cv::Point2f from[] = {{0, 0}, {static_cast<float>(ink.cols), 0},
                              {static_cast<float>(ink.cols), static_cast<float>(ink.rows)},
                              {0, static_cast<float>(ink.rows)}};
  const cv::Point2f to[] = {place(-w / 2 + keystone, -h / 2), place(w / 2 - keystone, -h / 2), place(w / 2, h / 2),
                            place(-w / 2, h / 2)};
  const cv::Mat homography = cv::getPerspectiveTransform(from, to);

  // The lens takes in less detail than the 300-DPI page holds.
  cv::Mat coverage;
  ink.convertTo(coverage, CV_32F, 1.0 / 255);
  cv::GaussianBlur(coverage, coverage, {0, 0}, 0.5 / scale);
  cv::Mat inkSeen;
  cv::warpPerspective(coverage, inkSeen, homography, {kWidth, kHeight}, cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);
  cv::Mat paperSeen;
  cv::warpPerspective(cv::Mat(ink.size(), CV_32F, cv::Scalar(1)), paperSeen, homography, {kWidth, kHeight},
                      cv::INTER_LINEAR, cv::BORDER_CONSTANT, 0);

  // Light falling off from one side and towards the corners, the paper near 200 in the middle;
  // a desk of dark wood with a slow grain.
  const double tiltX = uniform(-0.12, 0.12);
  const double tiltY = uniform(-0.08, 0.08);
  cv::Mat light(kHeight / 8, kWidth / 8, CV_32F);
  for (int y = 0; y < light.rows; ++y)
    for (int x = 0; x < light.cols; ++x) {
      const double u = static_cast<double>(x) / light.cols - 0.5;
      const double v = static_cast<double>(y) / light.rows - 0.5;
      light.at<float>(y, x) = static_cast<float>(205.0 * (1 + tiltX * u + tiltY * v) * (1 - 0.35 * (u * u + v * v)));
    }
  cv::resize(light, light, {kWidth, kHeight}, 0, 0, cv::INTER_LINEAR);
  cv::Mat grain(kHeight / 16, kWidth / 64, CV_32F);
  cv::randn(grain, 0, 1);
  cv::GaussianBlur(grain, grain, {0, 0}, 1.5);
  cv::resize(grain, grain, {kWidth, kHeight}, 0, 0, cv::INTER_CUBIC);

  constexpr double kPaperColour[3] = {0.95, 0.98, 1.0};  // blue, green, red: slightly warm paper
  constexpr double kDeskColour[3] = {0.22, 0.32, 0.42};
  const double inkShare = uniform(0.10, 0.16);  // what black ink reflects of the paper's light
  const double blur = uniform(0.8, 1.3);
  std::vector<cv::Mat> channels(3);
  for (int c = 0; c < 3; ++c) {
    cv::Mat paper = (1.0 - inkSeen * (1.0 - inkShare)) * kPaperColour[c];
    cv::Mat desk = kDeskColour[c] + grain * 0.04;
    cv::Mat reflect = paper.mul(paperSeen) + desk.mul(1.0 - paperSeen);
    cv::Mat value = reflect.mul(light);
    cv::GaussianBlur(value, value, {0, 0}, blur);
    cv::Mat noise(value.size(), CV_32F);
    cv::RNG(seed * 3 + c).fill(noise, cv::RNG::NORMAL, 0.0, 3.0);
    value += noise;
    value.convertTo(channels[c], CV_8U);
  }
  cv::Mat frame;
  cv::merge(channels, frame);
  std::vector<std::uint8_t> jpeg;
  cv::imencode(".jpg", frame, jpeg, {cv::IMWRITE_JPEG_QUALITY, 85});
  return cv::imdecode(jpeg, cv::IMREAD_COLOR);
}

cv::Mat CutLikeTheRecognitionCommand(const cv::Mat& photograph) {
  CSysParam settings;
  settings.cropMode = 1;
  settings.colorMode = 0;
  settings.deformationRepair = false;
  settings.keepEveryDocument = false;
  settings.shadowRemoval = false;
  settings.dateWatermark = false;
  settings.customWatermark = false;
  imaging::CCaptureImageHelper helper(0);
  helper.SetSettings(settings);
  std::vector<cv::Mat> cuts;
  if (helper.ProcessCapture(photograph, cuts) != imaging::ProcessResult::kDone || cuts.empty()) return {};
  return cuts.front();
}

void RestartWithOneOpenMpThread() {
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  if (limit && std::string(limit) == "1") return;
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string line{std::istreambuf_iterator<char>(file), {}};
  std::vector<std::string> words;
  for (std::size_t start = 0; start < line.size();) {
    const std::size_t end = line.find('\0', start);
    words.push_back(line.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  setenv("OMP_THREAD_LIMIT", "1", 1);
  if (!words.empty()) execv("/proc/self/exe", argv.data());
  std::perror("cannot restart with OMP_THREAD_LIMIT=1; Tesseract may use several threads");
}

std::u32string ComparableText(const std::string& utf8) {
  std::u32string out;
  for (char32_t c : Decode(utf8)) {
    if (c == U' ' || c == U'\n' || c == U'\r' || c == U'\t' || c == 0x3000) continue;
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;
    out += c;
  }
  return out;
}

std::size_t EditDistance(const std::u32string& a, const std::u32string& b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

DigitErrors CompareDigits(const std::u32string& expected, const std::u32string& read) {
  const std::size_t n = expected.size();
  const std::size_t m = read.size();
  std::vector<std::size_t> cost((n + 1) * (m + 1));
  auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return cost[i * (m + 1) + j]; };
  for (std::size_t i = 0; i <= n; ++i) at(i, 0) = i;
  for (std::size_t j = 0; j <= m; ++j) at(0, j) = j;
  for (std::size_t i = 1; i <= n; ++i)
    for (std::size_t j = 1; j <= m; ++j)
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + (expected[i - 1] == read[j - 1] ? 0 : 1)});
  auto isDigit = [](char32_t c) { return c >= U'0' && c <= U'9'; };
  DigitErrors result;
  for (char32_t c : expected) result.digits += isDigit(c);
  std::size_t i = n;
  std::size_t j = m;
  while (i > 0 || j > 0) {
    if (i > 0 && j > 0 && at(i, j) == at(i - 1, j - 1) + (expected[i - 1] == read[j - 1] ? 0 : 1)) {
      result.errors += expected[i - 1] != read[j - 1] && (isDigit(expected[i - 1]) || isDigit(read[j - 1]));
      --i;
      --j;
    } else if (i > 0 && at(i, j) == at(i - 1, j) + 1) {
      result.errors += isDigit(expected[i - 1]);
      --i;
    } else {
      result.errors += isDigit(read[j - 1]);
      --j;
    }
  }
  return result;
}

}  // namespace orvane::ocrpage
