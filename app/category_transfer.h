// Copying and moving a document into another category's folder: "Copia in…" and
// "Sposta in…" of the document list's menu, and a drag from the list onto a category of
// the grid. Never over a file (a taken name gives "Copia di " + name, then "Copia (2) di "
// + name, ...), never a partial copy at the target, and a move across file systems
// deletes the source only once its copy is whole. GUI thread only, save
// TransferDocument.
#pragma once

#include <QString>
#include <string>

#include "shellview/shell_list_view.h"

namespace velloria {

enum class TransferKind { kCopy, kMove };

// True when `a` and `b` name one folder: the same path once letter case is resolved, or
// the same file (device and inode) where the file system's inode numbers are real.
bool SameFolder(const std::string& a, const std::string& b);

// Copies or moves `document` into `folder` under its own name when no entry of the folder
// has that name in any letter case, else under the first free duplicate name (as Duplica
// names copies). A move within one file system is a rename that never replaces; across
// file systems it is a copy, then the delete of the source once the copy is whole and the
// source unchanged (otherwise the copy goes again and the source stays). Returns 0 and the
// new path in `placed`, else an errno value. Any thread.
int TransferDocument(const std::string& document, const std::string& folder, TransferKind kind,
                     std::string& placed);

// "Impossibile copiare il documento \"<name>\" in \"<folder>\": <reason>." (or spostare)
// for a transfer refused with `error`.
QString TransferFailedMessage(const std::string& document, const std::string& folder,
                              TransferKind kind, int error);

// The command: transfers `document` (a document of `list`'s shown folder) into `folder`.
// A move first meets the refusals of a delete (the document open or locked, read-only, a
// folder the user may not change; only another computer's lock file: the second question)
// and a move into the folder the document is in does nothing. A done transfer is recorded
// for Annulla and the list reloaded, a moved document no longer in it, a copy into the
// shown folder selected; a failure is shown in a box and nothing is left half done.
void TransferDocumentCommand(TCustomShellListView& list, const std::string& document,
                             const std::string& folder, TransferKind kind);

}  // namespace velloria
