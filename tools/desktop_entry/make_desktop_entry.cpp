// orvane-desktop-entry: the station's menu entry (a freedesktop .desktop file, named and described
// in the station's three languages) and its icon in the icon theme's sizes.
#include <QBuffer>
#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QSaveFile>
#include <QString>
#include <QStringList>

#include <cstdio>

#include "ui_resources/application_icon.h"

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "orvane-desktop-entry: %s\n", qPrintable(message));
  return 1;
}

// The entry's texts per language: the English ones untagged, then Simplified and Traditional
// Chinese. "%1" is the product name.
struct EntryTexts {
  const char* locale;
  const char* name;
  const char* genericName;
  const char* comment;
};
constexpr EntryTexts kTexts[] = {
    {"", "%1 Document Camera", "Document Camera",
     "Capture pages, books and ID cards with a document camera, cut them to the page and save them"},
    {"zh_CN", "%1 高拍仪", "高拍仪", "用高拍仪拍摄文档、书本和证件，裁切到页面并保存"},
    {"zh_TW", "%1 高拍儀", "高拍儀", "用高拍儀拍攝文件、書本和證件，裁切到頁面並儲存"},
};

// The sizes the hicolor theme has folders for, up to the largest a launcher shows.
constexpr int kIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

QString Key(const char* key, const EntryTexts& texts) {
  return *texts.locale == '\0' ? QString::fromLatin1(key) : QStringLiteral("%1[%2]").arg(key, texts.locale);
}

QString Entry(const QString& product, const QString& program) {
  QStringList lines{QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"), QStringLiteral("Version=1.4")};
  for (const EntryTexts& texts : kTexts) lines << Key("Name", texts) + "=" + QString::fromUtf8(texts.name).arg(product);
  for (const EntryTexts& texts : kTexts) lines << Key("GenericName", texts) + "=" + QString::fromUtf8(texts.genericName);
  for (const EntryTexts& texts : kTexts) lines << Key("Comment", texts) + "=" + QString::fromUtf8(texts.comment);
  lines << "TryExec=" + program << "Exec=" + program << "Icon=" + program << QStringLiteral("Terminal=false")
        << QStringLiteral("Categories=Graphics;Scanning;Photography;");
  return lines.join('\n') + '\n';
}

bool SaveWhole(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

}  // namespace

int main(int argc, char* argv[]) {
  // Runs at build time, where there may be no display.
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication application(argc, argv);

  QCommandLineParser parser;
  parser.setApplicationDescription("Makes the menu entry and the icon theme's icons.");
  parser.addHelpOption();
  const QCommandLineOption productOption("product-name", "The product name the entry shows.", "name");
  const QCommandLineOption programOption("program", "The executable's name: the entry starts it and names its icon.",
                                         "name");
  const QCommandLineOption entryOption("entry", "The .desktop file to write.", "file");
  const QCommandLineOption iconsOption("icons", "The icon theme's folder (hicolor) to write the icons into.", "folder");
  parser.addOptions({productOption, programOption, entryOption, iconsOption});
  parser.process(application);
  if (!parser.isSet(productOption) || !parser.isSet(programOption)) return Fail("--product-name and --program are needed");
  const QString program = parser.value(programOption);

  if (parser.isSet(entryOption)) {
    const QString path = parser.value(entryOption);
    if (!SaveWhole(path, Entry(parser.value(productOption), program).toUtf8()))
      return Fail(QStringLiteral("cannot write \"%1\"").arg(path));
  }
  if (parser.isSet(iconsOption)) {
    for (int size : kIconSizes) {
      const QString folder = QStringLiteral("%1/%2x%2/apps").arg(parser.value(iconsOption)).arg(size);
      if (!QDir().mkpath(folder)) return Fail(QStringLiteral("cannot make the folder \"%1\"").arg(folder));
      const QString path = folder + "/" + program + ".png";
      QByteArray png;
      QBuffer buffer(&png);
      if (!buffer.open(QIODevice::WriteOnly) || !orvane::tools::ApplicationIcon(size).save(&buffer, "PNG") ||
          !SaveWhole(path, png))
        return Fail(QStringLiteral("cannot write \"%1\"").arg(path));
    }
  }
  return 0;
}
