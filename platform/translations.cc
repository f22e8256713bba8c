// Loading Qt's translations from Qt's own folder and the program's from its resources,
// where each layer puts a file of its own (platform_it.qm, shellview_it.qm, …).
#include "platform/translations.h"

#include <QCoreApplication>
#include <QDir>
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

// The layers whose translations lie in `folder`: the names before "_" of its .qm files.
QStringList LayerNames(const QString& folder) {
  QStringList names;
  for (const QString& file : QDir(folder).entryList({QStringLiteral("*.qm")}, QDir::Files)) {
    QString name = file.section(QLatin1Char('_'), 0, 0);
    if (!names.contains(name)) names << name;
  }
  return names;
}

}  // namespace

void InstallTranslations(const QLocale& locale) {
  InstallTranslator(locale, QStringLiteral("qt"),
                    QLibraryInfo::path(QLibraryInfo::TranslationsPath));
  const QString resources = QStringLiteral(":/i18n");
  for (const QString& name : LayerNames(resources)) InstallTranslator(locale, name, resources);
}

}  // namespace velloria
