// The reasons the document commands give when they refuse or fail: the words after
// "Impossibile ... il documento \"...\": " in their boxes, shared so that every command
// says one thing one way.
#pragma once

#include <time.h>

#include <QString>
#include <string>

#include "platform/officelock.h"

namespace velloria {

// "aperto da <user> sul computer <host>", or as much of it as is known.
QString OpenByText(const shell::DocumentHolder& holder);

// " dal <date and time>" in the user's short format.
QString SinceText(time_t since);

// Who holds the document at `path`, as its lock file says, and since when; else that
// another program uses it.
QString HolderText(const std::string& path);

// The folder part of `path` as shown, without its closing separator.
QString FolderText(const std::string& path);

// That the user may not change the folder of `path`.
QString FolderDeniedText(const std::string& path);

// True when the user may add and remove entries of the folder of `path`.
bool FolderWritable(const std::string& path);

// Why a move of the document at `from` to the path `to` was denied (EACCES, EPERM): a
// folder of the two the user may not change, else the document is read-only.
QString MoveDeniedText(const std::string& from, const std::string& to);

// Why a copy of the document at `from` to the path `to` was denied (EACCES, EPERM): the
// document may not be read, else the folder of `to` may not be changed.
QString CopyDeniedText(const std::string& from, const std::string& to);

// That the name `name` is longer than a name may be.
QString NameTooLongText(const std::string& name);

// That the document was written, moved or replaced at another desk since it was chosen.
QString ChangedElsewhereText();

// The reasons any file command may meet (a document gone, a folder, a read-only disk, a
// full disk); "" for the ones each command words itself.
QString CommonRefusalText(int error);

// "errore di sistema (<text of error>)", for an error no command words itself.
QString SystemErrorText(int error);

}  // namespace velloria
