// Loading Qt's translations from Qt's own folder and the program's from its resources.
#include "platform/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace velloria {
namespace {

void InstallTranslator(const QLocale& locale, const QString& name, const QString& folder) {
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (translator->load(locale, name, QStringLiteral("_"), folder)) {
    QCoreApplication::installTranslator(translator);
  } else {
    delete translator;
  }
}

}  // namespace

void InstallTranslations(const QLocale& locale) {
  InstallTranslator(locale, QStringLiteral("qt"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  InstallTranslator(locale, QStringLiteral("velloria"), QStringLiteral(":/i18n"));
}

}  // namespace velloria
