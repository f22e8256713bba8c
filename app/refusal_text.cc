// The reasons of the document commands' refusals, worded once.
#include "app/refusal_text.h"

#include <limits.h>
#include <unistd.h>

#include <QDateTime>
#include <QLocale>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/paths.h"
#include "platform/file_name_text.h"

namespace velloria {

QString OpenByText(const shell::DocumentHolder& holder) {
  QString user = shell::DecodeFileName(holder.user);
  QString host = shell::DecodeFileName(holder.host);
  if (user.isEmpty() && host.isEmpty()) return QStringLiteral("aperto in un programma di videoscrittura");
  if (host.isEmpty()) return QStringLiteral("aperto da %1").arg(user);
  if (user.isEmpty()) return QStringLiteral("aperto sul computer %1").arg(host);
  return QStringLiteral("aperto da %1 sul computer %2").arg(user, host);
}

QString SinceText(time_t since) {
  return QStringLiteral(" dal %1").arg(
      QLocale().toString(QDateTime::fromSecsSinceEpoch(since), QLocale::ShortFormat));
}

QString HolderText(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  std::string name = paths::NamePart(path);
  std::optional<time_t> since = shell::LockFileTime(folder, name);
  if (!since) return QStringLiteral("è in uso da parte di un altro programma");
  return QStringLiteral("è ") +
         OpenByText(shell::DocumentHolderOf(folder, name).value_or(shell::DocumentHolder{})) +
         SinceText(*since);
}

QString FolderText(const std::string& path) {
  std::string folder = paths::FolderPart(path);
  if (folder.size() > 1 && paths::IsSeparator(folder.back())) folder.pop_back();
  return shell::DecodeFileName(folder);
}

QString FolderDeniedText(const std::string& path) {
  return QStringLiteral("non si hanno i permessi per modificare la cartella \"%1\"")
      .arg(FolderText(path));
}

bool FolderWritable(const std::string& path) {
  return access(paths::FolderPart(path).c_str(), W_OK | X_OK) == 0;
}

QString MoveDeniedText(const std::string& from, const std::string& to) {
  if (!FolderWritable(from)) return FolderDeniedText(from);
  if (!FolderWritable(to)) return FolderDeniedText(to);
  return QStringLiteral("il documento è di sola lettura");
}

QString CopyDeniedText(const std::string& from, const std::string& to) {
  if (access(from.c_str(), R_OK) != 0)
    return QStringLiteral("non si ha il permesso di leggere il documento");
  return FolderDeniedText(to);
}

QString NameTooLongText(const std::string& name) {
  return QStringLiteral("il nome \"%1\" è troppo lungo (più di %2 byte)")
      .arg(shell::DecodeFileName(name))
      .arg(NAME_MAX);
}

QString ChangedElsewhereText() {
  return QStringLiteral(
      "il documento è stato modificato, spostato o sostituito da un'altra postazione");
}

QString CommonRefusalText(int error) {
  switch (error) {
    case ENOENT: return QStringLiteral("il documento non esiste più");
    case EISDIR: return QStringLiteral("è una cartella, non un documento");
    case EINVAL: return QStringLiteral("non è un documento");
    case EROFS: return QStringLiteral("il disco è di sola lettura");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("lo spazio sul disco è esaurito");
    default: return {};
  }
}

QString SystemErrorText(int error) {
  return QStringLiteral("errore di sistema (%1)").arg(QString::fromLocal8Bit(std::strerror(error)));
}

}  // namespace velloria
