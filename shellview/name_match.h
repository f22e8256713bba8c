// Matching of document names against a typed text, as the list's filter does: letter
// case and accents are ignored ("citta" finds "Città"). Plain functions; thread-safe.
#pragma once

#include <QString>

namespace velloria {

// `text` without its accents and in one letter case: decomposed, combining marks dropped,
// case-folded. Two texts that differ only in case and accents have the same key.
QString NameMatchKey(const QString& text);

// True when `name` contains the text whose key is `key`; an empty key matches any name.
bool NameMatches(const QString& name, const QString& key);

}  // namespace velloria
