// Name matching without letter case and accents.
#include "shellview/name_match.h"

namespace velloria {

QString NameMatchKey(const QString& text) {
  QString decomposed = text.normalized(QString::NormalizationForm_KD);
  QString key;
  key.reserve(decomposed.size());
  for (QChar c : decomposed) {
    QChar::Category category = c.category();
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
        category == QChar::Mark_Enclosing)
      continue;
    key += c;
  }
  return key.toCaseFolded();
}

bool NameMatches(const QString& name, const QString& key) {
  return key.isEmpty() || NameMatchKey(name).contains(key);
}

}  // namespace velloria
