// The description of a MIME type in the user's language ("Documento Word"), read from the
// type's own file in the shared MIME database (<data dir>/mime/<type>.xml) for that one
// language. Qt's QMimeType::comment loads every language of the file into memory first,
// which made the Type column the dearest part of a start.
#pragma once

#include <QMimeType>
#include <QString>
#include <QStringList>
#include <optional>
#include <string_view>

namespace velloria::shell {

// The description QMimeType::comment gives for `type` in the default locale's languages,
// taken from the type's file; QMimeType::comment itself when the file cannot be read or
// holds markup this reader does not take. Answers are kept per type and language list.
// GUI thread only.
QString MimeTypeComment(const QMimeType& type);

// The comment elements of one MIME type's file `xml`: the text of the first of `languages`
// ("default" for the untagged comment) that the file has, "it" standing in for "it_IT" as
// well. Empty when the file has none of them; nullopt when the file holds
// what this reader does not take (markup or a CDATA section inside a comment, a bad
// character reference, an unclosed element), so that the caller asks Qt instead.
std::optional<QString> CommentFromMimeXml(std::string_view xml, const QStringList& languages);

// The languages QMimeType::comment tries, in its order: the default locale's name ("it_IT"),
// its user-interface languages as Qt spells them ("it-Latn-IT", "it-IT", "it"), then
// "default"; "en_US" stands for the C locale.
QStringList CommentLanguages();

}  // namespace velloria::shell
