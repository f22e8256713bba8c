// One language's description of a MIME type, read from the type's file in the shared MIME
// database; see mime_comment.h.
#include "platform/mime_comment.h"

#include <QFile>
#include <QHash>
#include <QLocale>
#include <QStandardPaths>
#include <utility>
#include <vector>

namespace velloria::shell {
namespace {

using Comment = std::pair<std::string_view, std::string_view>;  // language, raw text

constexpr std::string_view kOpenTag = "<comment";
constexpr std::string_view kCloseTag = "</comment>";

// The value of the xml:lang attribute among a start tag's attributes; "default" without one.
std::optional<std::string_view> LanguageOf(std::string_view attributes) {
  size_t at = attributes.find("xml:lang");
  if (at == std::string_view::npos) return std::string_view("default");
  at = attributes.find_first_not_of(" \t\r\n", at + 8);
  if (at == std::string_view::npos || attributes[at] != '=') return std::nullopt;
  at = attributes.find_first_not_of(" \t\r\n", at + 1);
  if (at == std::string_view::npos || (attributes[at] != '"' && attributes[at] != '\'')) return std::nullopt;
  size_t end = attributes.find(attributes[at], at + 1);
  if (end == std::string_view::npos) return std::nullopt;
  return attributes.substr(at + 1, end - at - 1);
}

// Every comment element of the file, in file order; nullopt for markup this reader does
// not take. XML comments (<!-- -->) are skipped, as a "<comment" inside one is no element.
std::optional<std::vector<Comment>> CommentElements(std::string_view xml) {
  std::vector<Comment> comments;
  size_t at = 0;
  while ((at = xml.find('<', at)) != std::string_view::npos) {
    std::string_view rest = xml.substr(at);
    if (rest.starts_with("<!--")) {
      size_t end = xml.find("-->", at + 4);
      if (end == std::string_view::npos) return std::nullopt;
      at = end + 3;
      continue;
    }
    bool isComment = rest.starts_with(kOpenTag) && rest.size() > kOpenTag.size() &&
                     (rest[kOpenTag.size()] == '>' || rest[kOpenTag.size()] == ' ' ||
                      rest[kOpenTag.size()] == '\t' || rest[kOpenTag.size()] == '\n' ||
                      rest[kOpenTag.size()] == '\r' || rest[kOpenTag.size()] == '/');
    size_t tagEnd = xml.find('>', at);
    if (tagEnd == std::string_view::npos) return std::nullopt;
    if (!isComment) {
      at = tagEnd + 1;
      continue;
    }
    std::string_view attributes = xml.substr(at + kOpenTag.size(), tagEnd - at - kOpenTag.size());
    std::optional<std::string_view> language = LanguageOf(attributes);
    if (!language) return std::nullopt;
    if (attributes.ends_with('/')) {
      comments.emplace_back(*language, std::string_view());
      at = tagEnd + 1;
      continue;
    }
    size_t textEnd = xml.find('<', tagEnd + 1);
    if (textEnd == std::string_view::npos || xml.substr(textEnd).substr(0, kCloseTag.size()) != kCloseTag)
      return std::nullopt;
    comments.emplace_back(*language, xml.substr(tagEnd + 1, textEnd - tagEnd - 1));
    at = textEnd + kCloseTag.size();
  }
  return comments;
}

// A character reference's code point ("#233", "#xE9"); nullopt when it names none.
std::optional<char32_t> CodePointOf(std::string_view reference) {
  bool hex = reference.starts_with("#x");
  std::string_view digits = reference.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  char32_t value = 0;
  for (char c : digits) {
    char lower = char(c | 0x20);
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (hex && lower >= 'a' && lower <= 'f') digit = lower - 'a' + 10;
    if (digit < 0) return std::nullopt;
    value = value * (hex ? 16 : 10) + char32_t(digit);
  }
  if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return std::nullopt;
  return value;
}

// The element text with its entity and character references replaced; nullopt for a
// reference XML does not define.
std::optional<QString> DecodeText(std::string_view raw) {
  QString text;
  size_t at = 0;
  while (at < raw.size()) {
    size_t amp = raw.find('&', at);
    text += QString::fromUtf8(raw.substr(at, amp == std::string_view::npos ? raw.size() - at : amp - at));
    if (amp == std::string_view::npos) break;
    size_t semicolon = raw.find(';', amp);
    if (semicolon == std::string_view::npos) return std::nullopt;
    std::string_view name = raw.substr(amp + 1, semicolon - amp - 1);
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    bool known = false;
    for (const auto& [entity, character] : kEntities) {
      if (name != entity) continue;
      text += QLatin1Char(character);
      known = true;
    }
    if (!known) {
      std::optional<char32_t> codePoint = name.starts_with('#') ? CodePointOf(name) : std::nullopt;
      if (!codePoint) return std::nullopt;
      text += QString::fromUcs4(&*codePoint, 1);
    }
    at = semicolon + 1;
  }
  return text;
}

// The last comment of `language` that is not empty (a later element replaces an earlier one).
const Comment* CommentIn(const std::vector<Comment>& comments, std::string_view language) {
  for (auto it = comments.rbegin(); it != comments.rend(); ++it) {
    if (it->first == language && !it->second.empty()) return &*it;
  }
  return nullptr;
}

}  // namespace

std::optional<QString> CommentFromMimeXml(std::string_view xml, const QStringList& languages) {
  std::optional<std::vector<Comment>> comments = CommentElements(xml);
  if (!comments) return std::nullopt;
  for (const QString& language : languages) {
    QByteArray name = language.toUtf8();
    const Comment* found = CommentIn(*comments, std::string_view(name.constData(), size_t(name.size())));
    qsizetype cut = name.indexOf('_');
    if (!found && cut != -1) found = CommentIn(*comments, std::string_view(name.constData(), size_t(cut)));
    if (found) return DecodeText(found->second);
  }
  return QString();
}

QStringList CommentLanguages() {
  QStringList languages{QLocale().name()};
  languages += QLocale().uiLanguages();
  languages += QStringLiteral("default");
  for (QString& language : languages) {
    if (language == QLatin1String("C")) language = QStringLiteral("en_US");
  }
  return languages;
}

QString MimeTypeComment(const QMimeType& type) {
  if (!type.isValid()) return type.comment();
  static QHash<QString, QString> known;
  QStringList languages = CommentLanguages();
  QString key = languages.join(QLatin1Char(' ')) + QLatin1Char('|') + type.name();
  auto found = known.constFind(key);
  if (found != known.constEnd()) return *found;
  QString path = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                        QStringLiteral("mime/%1.xml").arg(type.name().toLower()));
  QFile file(path);
  std::optional<QString> comment;
  if (!path.isEmpty() && file.open(QIODevice::ReadOnly)) {
    QByteArray xml = file.readAll();
    comment = CommentFromMimeXml(std::string_view(xml.constData(), size_t(xml.size())), languages);
  }
  // Qt answers the type's name where the file has no comment in these languages.
  QString text = comment && !comment->isEmpty() ? *comment : type.comment();
  known.insert(key, text);
  return text;
}

}  // namespace velloria::shell
