#include "ui/qt_translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>

namespace orvane::ui {

void UseQtTranslations(int language) {
  // One translator for the life of the program, replaced on each change of language.
  static std::unique_ptr<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  const char* locale = language == 0 ? "zh_CN" : language == 1 ? "zh_TW" : nullptr;
  if (locale == nullptr || QCoreApplication::instance() == nullptr) return;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_") + QString::fromLatin1(locale),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    return;
  }
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
}

}  // namespace orvane::ui
