// Texts in the system language: Qt's own translations and the program's translations of
// the document list's column titles and dialogs (written in English in the sources). The
// program's own Italian messages are not translated. GUI thread only.
#pragma once

#include <QLocale>

namespace velloria {

// Installs into the running application Qt's translations and the program's for the
// user-interface language of `locale` (by default the system's, taken from LANGUAGE,
// LC_ALL, LC_MESSAGES or LANG); a language without translations leaves the English
// texts. Needs a QCoreApplication; call it before the first window is built.
void InstallTranslations(const QLocale& locale = QLocale::system());

}  // namespace velloria
