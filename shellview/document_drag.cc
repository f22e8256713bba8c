// The data of a document dragged from the folder list.
#include "shellview/document_drag.h"

namespace velloria {

std::unique_ptr<QMimeData> DocumentDragData(const std::string& path) {
  auto data = std::make_unique<QMimeData>();
  QByteArray bytes = QByteArray::fromStdString(path);
  data->setData(QStringLiteral("text/uri-list"), "file://" + bytes.toPercentEncoding("/") + "\r\n");
  data->setData(QString::fromLatin1(kDocumentPathFormat), bytes);
  return data;
}

std::string DraggedDocumentPath(const QMimeData& data) {
  return data.data(QString::fromLatin1(kDocumentPathFormat)).toStdString();
}

}  // namespace velloria
