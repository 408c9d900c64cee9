// orvane-ui-resources: draws the windows' own pictures (the empty thumbnail, the application and
// document icons, the faces of the main window's command buttons) as PNG files and synthesises
// the shutter sound "paizhao.wav". Nothing is copied from anywhere: every picture and sample is
// made here.
#include <QColor>
#include <QCommandLineParser>
#include <QDir>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRawFont>
#include <QSaveFile>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "ui/button_faces.h"
#include "ui_resources/application_icon.h"

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "orvane-ui-resources: %s\n", qPrintable(message));
  return 1;
}

bool SavePng(const QImage& image, const QString& path) {
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && image.save(&file, "PNG") && file.commit();
}

// The picture an empty thumbnail slot shows: a pale card with the outline of a photograph.
QImage EmptyThumbnail() {
  QImage image(120, 90, QImage::Format_RGB32);
  image.fill(QColor(232, 232, 232));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(200, 200, 200), 1));
  painter.drawRect(0, 0, image.width() - 1, image.height() - 1);
  const QColor glyph(190, 190, 190);
  painter.setPen(QPen(glyph, 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawRoundedRect(QRectF(38, 27, 44, 34), 3, 3);
  QPainterPath hills;
  hills.moveTo(41, 58);
  hills.lineTo(53, 44);
  hills.lineTo(61, 52);
  hills.lineTo(67, 47);
  hills.lineTo(79, 58);
  hills.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.setBrush(glyph);
  painter.drawPath(hills);
  painter.drawEllipse(QPointF(71, 36), 4, 4);
  return image;
}

// The icon of a recognised-text document in the thumbnail strip: a page of lines.
QImage DocumentIcon() {
  QImage image(64, 64, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QPainterPath page;
  page.moveTo(14, 4);
  page.lineTo(40, 4);
  page.lineTo(52, 16);
  page.lineTo(52, 60);
  page.lineTo(14, 60);
  page.closeSubpath();
  painter.setPen(QPen(QColor(0x5A, 0x6B, 0x7D), 2));
  painter.setBrush(Qt::white);
  painter.drawPath(page);
  painter.setBrush(QColor(0xD6, 0xDE, 0xE6));
  painter.drawPolygon(QPolygonF({QPointF(40, 4), QPointF(40, 16), QPointF(52, 16)}));
  painter.setPen(QPen(QColor(0x2B, 0x57, 0x9A), 3, Qt::SolidLine, Qt::RoundCap));
  for (int y = 26; y <= 52; y += 7) painter.drawLine(QPointF(21, y), QPointF(y == 52 ? 36 : 45, y));
  return image;
}

// ---- The command buttons' faces ----

// A face is a rounded button on black: the window leaves out the black corners. No pixel of a
// face is a neutral grey (every colour is bluer than it is red), so neither of the colours the
// button leaves out, black and the desktop's button face, can punch a hole into it.
enum class Look { kNormal, kPressed, kHot };

struct FaceColours {
  QColor top, bottom, border, text;
};

FaceColours ColoursOf(Look look, bool accent) {
  if (accent) {  // the capture button stands out
    switch (look) {
      case Look::kNormal: return {{86, 156, 226}, {30, 98, 176}, {20, 70, 134}, {250, 252, 255}};
      case Look::kHot: return {{120, 186, 244}, {44, 122, 204}, {24, 86, 160}, {250, 252, 255}};
      case Look::kPressed: return {{22, 78, 146}, {58, 126, 198}, {14, 54, 108}, {226, 236, 250}};
    }
  }
  switch (look) {
    case Look::kNormal: return {{250, 252, 255}, {212, 225, 240}, {136, 158, 186}, {28, 52, 84}};
    case Look::kHot: return {{246, 250, 255}, {194, 220, 247}, {50, 118, 196}, {12, 64, 128}};
    case Look::kPressed: return {{182, 201, 224}, {220, 230, 243}, {62, 98, 146}, {16, 40, 72}};
  }
  return {};
}

constexpr double kCornerRadius = 4.0;

// The fonts the faces are drawn in (the button table's): the language's own Chinese face, and the
// Simplified one for English and the symbols' numbers.
using orvane::ui::kFaceFamilies;
const char* const kFacePackage = "fonts-noto-cjk";

// The font, or an error when it is missing or lacks a character: another font put in its place
// would change the faces without a word.
std::optional<QString> CheckFont(const QString& family, const QString& text) {
  if (!QFontDatabase::families().contains(family)) {
    return QStringLiteral("the font \"%1\" is not installed (Debian package %2)").arg(family, kFacePackage);
  }
  QFont font(family);
  font.setPixelSize(16);
  const QRawFont raw = QRawFont::fromFont(font);
  for (const QChar character : text) {
    if (!character.isSpace() && !raw.supportsCharacter(character)) {
      return QStringLiteral("the font \"%1\" has no \"%2\"").arg(family, QString(character));
    }
  }
  return std::nullopt;
}

QFont FaceFont(const QString& family, int pixelSize, bool bold) {
  QFont font(family);
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setStyleStrategy(QFont::StyleStrategy(QFont::NoFontMerging | QFont::PreferAntialias));
  return font;
}

// The largest size, down to 8 pixels, at which the caption fits the face with a margin.
QFont FittingFont(const QString& family, const QString& caption, QSize size, int largest, bool bold) {
  for (int pixels = largest; pixels > 8; --pixels) {
    const QFont font = FaceFont(family, pixels, bold);
    const QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(caption) <= size.width() - orvane::ui::kCaptionMargin &&
        metrics.height() <= size.height() - 2) {
      return font;
    }
  }
  return FaceFont(family, 8, bold);
}

QImage BlankFace(QSize size, const FaceColours& colours) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(QColor(0, 0, 0));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient gradient(0, 0, 0, size.height());
  gradient.setColorAt(0, colours.top);
  gradient.setColorAt(1, colours.bottom);
  painter.setBrush(gradient);
  painter.setPen(QPen(colours.border, 1));
  painter.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), kCornerRadius, kCornerRadius);
  return image;
}

// A turning arrow around `centre`: an arc from `start` through `span` degrees (counter-clockwise
// when positive, as on a clock's face seen from the front) with its head at the end.
void DrawTurnArrow(QPainter& painter, QPointF centre, double radius, double start, double span, QColor colour) {
  painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
  painter.setBrush(Qt::NoBrush);
  const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
  painter.drawArc(box, static_cast<int>(start * 16), static_cast<int>(span * 16));
  const double end = (start + span) * M_PI / 180.0;
  const QPointF tip(centre.x() + radius * std::cos(end), centre.y() - radius * std::sin(end));
  const double turn = span > 0 ? 1.0 : -1.0;
  const QPointF along(-std::sin(end) * turn, -std::cos(end) * turn);  // the way the arc runs at its end
  const QPointF outward(std::cos(end), -std::sin(end));
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPolygon(QPolygonF({tip + along * 3.5, tip - along * 1.5 + outward * 3.2, tip - along * 1.5 - outward * 3.2}));
}

void DrawArrow(QPainter& painter, QPointF from, QPointF to, QColor colour) {
  painter.setPen(QPen(colour, 1.6, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(from, to);
  const double direction = to.x() > from.x() ? 1.0 : -1.0;
  painter.setPen(Qt::NoPen);
  painter.setBrush(colour);
  painter.drawPolygon(QPolygonF({to + QPointF(direction * 2.5, 0), to + QPointF(-direction * 2.5, -3.2),
                                 to + QPointF(-direction * 2.5, 3.2)}));
}

// The symbol of a button that shows no caption, centred on `middle`.
void DrawSymbol(QPainter& painter, orvane::ui::ControlId button, QPointF middle, QColor colour) {
  using orvane::ui::ControlId;
  const QFont numbers = FaceFont(kFaceFamilies[0], 10, false);
  const auto label = [&](QPointF left, const char* text) {
    painter.setFont(numbers);
    painter.setPen(colour);
    painter.drawText(QRectF(left.x(), middle.y() - 8, 30, 16), Qt::AlignLeft | Qt::AlignVCenter, QString::fromUtf8(text));
  };
  switch (button) {
    case ControlId::RotateLeft:
      DrawTurnArrow(painter, middle + QPointF(-9, 0), 6, -60, 270, colour);
      label(middle + QPointF(-1, 0), "90°");
      break;
    case ControlId::RotateRight:
      DrawTurnArrow(painter, middle + QPointF(-9, 0), 6, 240, -270, colour);
      label(middle + QPointF(-1, 0), "90°");
      break;
    case ControlId::Rotate180:
      DrawTurnArrow(painter, middle + QPointF(-11, 1), 5.5, 0, 180, colour);
      label(middle + QPointF(-4, 0), "180°");
      break;
    case ControlId::SwitchView:
      DrawArrow(painter, middle + QPointF(-9, -3.5), middle + QPointF(8, -3.5), colour);
      DrawArrow(painter, middle + QPointF(9, 3.5), middle + QPointF(-8, 3.5), colour);
      break;
    case ControlId::Focus: {
      // A focusing frame: four corners and the point in the middle.
      painter.setPen(QPen(colour, 1.5, Qt::SolidLine, Qt::SquareCap));
      painter.setBrush(Qt::NoBrush);
      const double w = 13;
      const double h = 7;
      for (const QPointF corner : {QPointF(-1, -1), QPointF(1, -1), QPointF(1, 1), QPointF(-1, 1)}) {
        const QPointF at = middle + QPointF(corner.x() * w, corner.y() * h);
        painter.drawLine(at, at - QPointF(corner.x() * 5, 0));
        painter.drawLine(at, at - QPointF(0, corner.y() * 4));
      }
      painter.setPen(Qt::NoPen);
      painter.setBrush(colour);
      painter.drawEllipse(middle, 2.2, 2.2);
      break;
    }
    default:
      break;
  }
}

QImage ButtonFace(const orvane::ui::CommandButtonFace& face, int language, Look look) {
  const bool accent = orvane::ui::IsAccent(face);
  const FaceColours colours = ColoursOf(look, accent);
  const QSize size(face.width, face.height);
  QImage image = BlankFace(size, colours);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  // Pressed, the content sinks a pixel down and right.
  const QPointF sink = look == Look::kPressed ? QPointF(1, 1) : QPointF(0, 0);
  if (!orvane::ui::HasCaptions(face)) {
    DrawSymbol(painter, face.button, QPointF(face.width / 2.0, face.height / 2.0) + sink, colours.text);
    return image;
  }
  const QString caption = QString::fromUtf8(face.captions[static_cast<std::size_t>(language)]);
  painter.setFont(FittingFont(kFaceFamilies[language], caption, size, orvane::ui::CaptionPixels(face), accent));
  painter.setPen(colours.text);
  painter.drawText(QRectF(QPointF(0, 0) + sink, QSizeF(size)), Qt::AlignCenter, caption);
  return image;
}

// Every picture of the command buttons, as "bitmaps/<resource number>.png".
std::optional<QString> SaveButtonFaces(const QString& folder) {
  const QString bitmaps = folder + "/bitmaps";
  if (!QDir().mkpath(bitmaps)) return QStringLiteral("cannot make the folder \"%1\"").arg(bitmaps);
  for (int language = 0; language < 3; ++language) {
    QString text = QStringLiteral("0123456789°");
    for (const orvane::ui::CommandButtonFace& face : orvane::ui::kCommandButtonFaces) {
      if (orvane::ui::HasCaptions(face)) text += QString::fromUtf8(face.captions[static_cast<std::size_t>(language)]);
    }
    if (std::optional<QString> error = CheckFont(kFaceFamilies[language], text)) return error;
  }
  for (const orvane::ui::CommandButtonFace& face : orvane::ui::kCommandButtonFaces) {
    // The symbol buttons have one set of pictures for every language.
    const int languages = orvane::ui::HasCaptions(face) ? 3 : 1;
    for (int language = 0; language < languages; ++language) {
      const auto& ids = face.bitmaps[static_cast<std::size_t>(language)];
      const Look looks[3] = {Look::kNormal, Look::kPressed, Look::kHot};
      for (int i = 0; i < 3; ++i) {
        const QString path = QStringLiteral("%1/%2.png").arg(bitmaps).arg(ids[static_cast<std::size_t>(i)]);
        if (!SavePng(ButtonFace(face, language, looks[i]), path)) return QStringLiteral("cannot write \"%1\"").arg(path);
      }
    }
  }
  return std::nullopt;
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value & 0xFF));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
  Put16(out, static_cast<std::uint16_t>(value >> 16));
}

// A mechanical shutter: two short bursts of filtered noise (the blade opening and closing), each
// dying away within a few hundredths of a second. 16-bit mono at 22050 Hz.
std::vector<std::uint8_t> ShutterSound() {
  constexpr int kRate = 22050;
  constexpr double kLength = 0.22;
  const int count = static_cast<int>(kRate * kLength);
  std::vector<double> samples(static_cast<std::size_t>(count), 0.0);
  std::uint32_t seed = 0x2545F491u;
  const auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed >> 8) / static_cast<double>(1u << 24) * 2.0 - 1.0;
  };
  const struct Burst { double start, decay, level, tone; } bursts[] = {{0.0, 0.012, 0.85, 2400.0}, {0.085, 0.018, 0.6, 1500.0}};
  for (const Burst& burst : bursts) {
    double low = 0.0;
    for (int i = static_cast<int>(burst.start * kRate); i < count; ++i) {
      const double t = static_cast<double>(i) / kRate - burst.start;
      low += 0.35 * (noise() - low);  // a little low-pass: a click, not a hiss
      const double ring = 0.3 * std::sin(2.0 * M_PI * burst.tone * t);
      samples[static_cast<std::size_t>(i)] += burst.level * std::exp(-t / burst.decay) * (low + ring);
    }
  }
  std::vector<std::uint8_t> wave;
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(count) * 2;
  Put32(wave, 0x46464952u);  // RIFF
  Put32(wave, 36 + dataBytes);
  Put32(wave, 0x45564157u);  // WAVE
  Put32(wave, 0x20746D66u);  // fmt
  Put32(wave, 16);
  Put16(wave, 1);  // PCM
  Put16(wave, 1);  // mono
  Put32(wave, kRate);
  Put32(wave, kRate * 2);
  Put16(wave, 2);
  Put16(wave, 16);
  Put32(wave, 0x61746164u);  // data
  Put32(wave, dataBytes);
  for (double sample : samples) {
    const double clipped = std::max(-1.0, std::min(1.0, sample));
    Put16(wave, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(clipped * 30000.0))));
  }
  return wave;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Runs at build time, where there may be no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription("Makes the windows' pictures and the shutter sound.");
  parser.addHelpOption();
  const QCommandLineOption picturesOption("pictures", "Folder for the PNG pictures.", "folder");
  const QCommandLineOption soundOption("sound", "The shutter sound file to write.", "file");
  parser.addOptions({picturesOption, soundOption});
  parser.process(application);
  if (!parser.isSet(picturesOption) && !parser.isSet(soundOption)) return Fail("nothing to make (--pictures, --sound)");

  if (parser.isSet(picturesOption)) {
    const QString folder = parser.value(picturesOption);
    if (!QDir().mkpath(folder)) return Fail(QStringLiteral("cannot make the folder \"%1\"").arg(folder));
    const std::pair<QImage, const char*> pictures[] = {
        {EmptyThumbnail(), "thumbnail_empty.png"}, {orvane::tools::ApplicationIcon(64), "application.png"}, {DocumentIcon(), "document.png"}};
    for (const auto& [image, name] : pictures) {
      if (!SavePng(image, folder + "/" + name)) return Fail(QStringLiteral("cannot write \"%1/%2\"").arg(folder, name));
    }
    if (std::optional<QString> error = SaveButtonFaces(folder)) return Fail(*error);
  }
  if (parser.isSet(soundOption)) {
    const std::vector<std::uint8_t> wave = ShutterSound();
    QSaveFile file(parser.value(soundOption));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(reinterpret_cast<const char*>(wave.data()), static_cast<qint64>(wave.size())) !=
            static_cast<qint64>(wave.size()) ||
        !file.commit()) {
      return Fail(QStringLiteral("cannot write \"%1\"").arg(parser.value(soundOption)));
    }
  }
  return 0;
}
