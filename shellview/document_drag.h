// What a drag of a document from the folder list carries: its file URL under
// text/uri-list, which any program takes, and its path under a format of this program's
// own, by which the program's drop targets know a drag from its list. Plain functions.
#pragma once

#include <QMimeData>
#include <memory>
#include <string>

namespace velloria {

inline constexpr const char* kDocumentPathFormat = "application/x-velloria-document-path";

// The drag data of the document at `path` (the file system's bytes): "file://" and the
// path percent-encoded byte by byte under text/uri-list, so that a name that is not UTF-8
// reaches the target as it is on disk, and the path's bytes under kDocumentPathFormat.
std::unique_ptr<QMimeData> DocumentDragData(const std::string& path);

// The path that `data` carries under kDocumentPathFormat; "" without it.
std::string DraggedDocumentPath(const QMimeData& data);

}  // namespace velloria
