// orvane-logo: renders the default logo picture for a product name, sized for the main window's
// logo button.
#include <QColor>
#include <QCommandLineParser>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>

#include <cstdio>

namespace {

constexpr int kLogoWidth = 129;
constexpr int kLogoHeight = 55;
constexpr int kMargin = 4;
constexpr int kLargestPixelSize = 36;
constexpr int kSmallestPixelSize = 8;
const char* const kFontFamily = "Liberation Sans";

int Fail(const QString& message) {
  std::fprintf(stderr, "orvane-logo: %s\n", qPrintable(message));
  return 1;
}

// The largest size, down to the smallest, at which the name fits inside the margins.
QFont FittingFont(const QString& name) {
  QFont font(kFontFamily);
  font.setBold(true);
  for (int size = kLargestPixelSize; size >= kSmallestPixelSize; --size) {
    font.setPixelSize(size);
    QFontMetrics metrics(font);
    if (metrics.horizontalAdvance(name) <= kLogoWidth - 2 * kMargin &&
        metrics.height() <= kLogoHeight - 2 * kMargin) {
      return font;
    }
  }
  return font;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Runs at build time, where there may be no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription("Renders the default logo picture for a product name as PNG.");
  parser.addHelpOption();
  const QCommandLineOption nameOption("name", "The product name drawn (required).", "text");
  const QCommandLineOption outputOption("output", "The PNG file to write (required).", "file");
  parser.addOptions({nameOption, outputOption});
  parser.process(application);

  const QString name = parser.value(nameOption);
  if (name.isEmpty()) return Fail("no product name given (--name)");
  if (!parser.isSet(outputOption)) return Fail("no output file given (--output)");
  // A substituted font would change the logo without a word.
  if (!QFontDatabase::families().contains(kFontFamily)) {
    return Fail(QStringLiteral("the font \"%1\" is not installed (Debian package fonts-liberation2)").arg(kFontFamily));
  }

  QImage logo(kLogoWidth, kLogoHeight, QImage::Format_RGB32);
  logo.fill(Qt::white);
  QPainter painter(&logo);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(FittingFont(name));
  painter.setPen(QColor(0x1F, 0x4E, 0x79));
  painter.drawText(logo.rect(), Qt::AlignCenter, name);
  painter.end();

  QSaveFile file(parser.value(outputOption));
  if (!file.open(QIODevice::WriteOnly) || !logo.save(&file, "PNG") || !file.commit()) {
    return Fail(QStringLiteral("cannot write \"%1\": %2").arg(parser.value(outputOption), file.errorString()));
  }
  return 0;
}
