// orvane-branding: makes the branding file "data.dat" from a logo picture, an optional splash
// picture and the texts given as options.
#include <QByteArray>
#include <QCommandLineParser>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdio>
#include <optional>

#include "branding/oem_writer.h"

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "orvane-branding: %s\n", qPrintable(message));
  return 1;
}

// Any format Qt reads, as 24-bit blue-green-red rows.
std::optional<orvane::BgrPicture> ReadPicture(const QString& file, QString& error) {
  QImageReader reader(file);
  QImage image = reader.read();
  if (image.isNull()) {
    error = QStringLiteral("cannot read the picture \"%1\": %2").arg(file, reader.errorString());
    return std::nullopt;
  }
  image = image.convertToFormat(QImage::Format_BGR888);
  orvane::BgrPicture picture{image.width(), image.height(), {}};
  const auto rowBytes = static_cast<std::size_t>(image.width()) * 3;
  picture.pixels.reserve(rowBytes * static_cast<std::size_t>(image.height()));
  for (int y = 0; y < image.height(); ++y) {
    const uchar* row = image.constScanLine(y);
    picture.pixels.insert(picture.pixels.end(), row, row + rowBytes);
  }
  return picture;
}

}  // namespace

int main(int argc, char* argv[]) {
  // Runs at build time, where there may be no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription("Makes the branding file data.dat.");
  parser.addHelpOption();
  const QCommandLineOption logoOption("logo", "The logo picture (required).", "file");
  const QCommandLineOption splashOption("splash", "The splash picture; none when not given.", "file");
  const QCommandLineOption linkOption("link", "What clicking the logo opens.", "text");
  const QCommandLineOption itemOption("item", "An item of the item list; may be repeated.", "text");
  const QCommandLineOption noticeOption("notice", "Whether the notice line is shown: shown or hidden.",
                                        "shown|hidden", "shown");
  const QCommandLineOption productNameOption("product-name", "The product name in the window caption.", "text");
  const QCommandLineOption noticeTextOption("notice-text", "The text of the notice line.", "text");
  const QCommandLineOption outputOption("output", "The file to write (required).", "file");
  parser.addOptions({logoOption, splashOption, linkOption, itemOption, noticeOption, productNameOption,
                     noticeTextOption, outputOption});
  parser.process(application);

  if (!parser.isSet(logoOption)) return Fail("no logo picture given (--logo)");
  if (!parser.isSet(outputOption)) return Fail("no output file given (--output)");
  const QString notice = parser.value(noticeOption);
  if (notice != "shown" && notice != "hidden") return Fail("--notice takes shown or hidden, not \"" + notice + "\"");

  orvane::branding::OemContent content;
  QString pictureError;
  auto logo = ReadPicture(parser.value(logoOption), pictureError);
  if (!logo) return Fail(pictureError);
  content.logo = std::move(*logo);
  if (parser.isSet(splashOption)) {
    content.splash = ReadPicture(parser.value(splashOption), pictureError);
    if (!content.splash) return Fail(pictureError);
  }
  content.link = parser.value(linkOption).toStdString();
  for (const QString& item : parser.values(itemOption)) content.items.push_back(item.toStdString());
  content.noticeShown = notice == "shown";
  content.productName = parser.value(productNameOption).toStdString();
  content.noticeText = parser.value(noticeTextOption).toStdString();

  const std::filesystem::path output = QFile::encodeName(parser.value(outputOption)).toStdString();
  std::string error;
  if (!orvane::branding::WriteOemData(output, content, error)) return Fail(QString::fromStdString(error));
  return 0;
}
