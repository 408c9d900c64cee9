// orvane-ui-resources: draws the windows' own pictures (the empty thumbnail, the application and
// document icons) as PNG files and synthesises the shutter sound "paizhao.wav". Nothing is copied
// from anywhere: every picture and sample is made here.
#include <QColor>
#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

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

// The application icon: a document camera's arm over a page.
QImage ApplicationIcon() {
  QImage image(64, 64, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient background(0, 0, 0, 64);
  background.setColorAt(0, QColor(0x2F, 0x6E, 0xA8));
  background.setColorAt(1, QColor(0x1F, 0x4E, 0x79));
  painter.setPen(Qt::NoPen);
  painter.setBrush(background);
  painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
  // The page on the desk.
  painter.setBrush(Qt::white);
  painter.drawPolygon(QPolygonF({QPointF(16, 40), QPointF(48, 40), QPointF(54, 54), QPointF(10, 54)}));
  // The stand and the camera head.
  painter.setPen(QPen(QColor(0xE8, 0xEE, 0xF4), 4, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(50, 50), QPointF(50, 14));
  painter.drawLine(QPointF(50, 14), QPointF(30, 14));
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0xE8, 0xEE, 0xF4));
  painter.drawRoundedRect(QRectF(22, 12, 14, 9), 2, 2);
  painter.setBrush(QColor(0xF2, 0xB1, 0x34));
  painter.drawEllipse(QPointF(29, 23), 3, 3);
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
        {EmptyThumbnail(), "thumbnail_empty.png"}, {ApplicationIcon(), "application.png"}, {DocumentIcon(), "document.png"}};
    for (const auto& [image, name] : pictures) {
      if (!SavePng(image, folder + "/" + name)) return Fail(QStringLiteral("cannot write \"%1/%2\"").arg(folder, name));
    }
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
