// A category table written byte by byte in dBase III form, independent of the engine:
// STAMPE.DBF with DESCRIZIO C40, DIR C20, VISUALIZZA L1, TIPO N3, texts in CP1252.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringEncoder>
#include <cstring>
#include <string>
#include <vector>

#include "base/dbf_field.h"

namespace velloria::testing {

struct CategoryRecord {
  std::string descrizio;
  std::string dir;
  int tipo = 1;
  bool visualizza = false;
};

// Where the bytes of that table lie: each record after the header, VISUALIZZA after the
// deletion mark, DESCRIZIO and DIR.
constexpr int kHeaderSize = 32 + 32 * 4 + 1;
constexpr int kRecordSize = 1 + 40 + 20 + 1 + 3;
constexpr int kVisualizzaOffset = 1 + 40 + 20;

// STAMPE.DBF with DESCRIZIO C40, DIR C20, VISUALIZZA L1, TIPO N3 and the language
// driver byte of CP1252.
inline QByteArray StampeTableBytes(const std::vector<CategoryRecord>& rows) {
  struct FieldLayout {
    const char* name;
    char type;
    int width;
  };
  const FieldLayout fields[] = {{"DESCRIZIO", dbf::type::kCharacter, 40}, {"DIR", dbf::type::kCharacter, 20}, {"VISUALIZZA", dbf::type::kLogical, 1}, {"TIPO", dbf::type::kNumber, 3}};
  const quint16 recordSize = kRecordSize;
  const quint16 headerSize = kHeaderSize;
  QByteArray data(32, '\0');
  data[0] = 0x03;
  data[1] = 126;
  data[2] = 1;
  data[3] = 1;
  quint32 count = static_cast<quint32>(rows.size());
  std::memcpy(data.data() + 4, &count, 4);
  std::memcpy(data.data() + 8, &headerSize, 2);
  std::memcpy(data.data() + 10, &recordSize, 2);
  data[29] = 0x03;
  for (const FieldLayout& field : fields) {
    QByteArray descriptor(32, '\0');
    std::memcpy(descriptor.data(), field.name, std::strlen(field.name));
    descriptor[11] = field.type;
    descriptor[16] = static_cast<char>(field.width);
    data += descriptor;
  }
  data += '\r';
  QStringEncoder cp1252("windows-1252");
  for (const CategoryRecord& row : rows) {
    data += ' ';
    data += QByteArray(cp1252(QString::fromStdString(row.descrizio))).leftJustified(40, ' ', true);
    data += QByteArray::fromStdString(row.dir).leftJustified(20, ' ', true);
    data += row.visualizza ? 'T' : 'F';
    data += QByteArray::number(row.tipo).rightJustified(3, ' ');
  }
  data += '\x1a';
  return data;
}

}  // namespace velloria::testing
