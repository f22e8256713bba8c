// The grid's column model: titles, columns and the lookup of their fields by name.
#include "ui/dbgrid_columns.h"

#include <QPalette>

#include "dataset/dataset.h"
#include "ui/dbgrid.h"

namespace velloria {

void TColumnTitle::SetCaption(const QString& caption) {
  m_caption = caption;
  m_column->Grid()->viewport()->update();
}

QFont TColumnTitle::Font() const { return m_column->Grid()->TitleFont(); }

QColor TColumnTitle::Color() const { return m_column->Grid()->FixedColor(); }

TColumn::TColumn(TDBGrid* grid) : m_grid(grid) {}

void TColumn::SetFieldName(const QString& name) {
  if (name == m_fieldName) return;
  m_fieldName = name;
  changed();
}

TField* TColumn::Field() const {
  TDataSet* dataSet = m_grid->DataLink().DataSet();
  if (dataSet == nullptr || !dataSet->Active()) return nullptr;
  return dataSet->FindField(m_fieldName.toStdString());
}

void TColumn::SetWidth(int width) {
  if (width == m_width) return;
  m_width = width;
  changed();
}

QFont TColumn::Font() const { return m_grid->font(); }

QColor TColumn::Color() const { return m_grid->Color(); }

TAlignment TColumn::Alignment() const {
  TField* field = Field();
  if (field == nullptr) return taLeftJustify;
  switch (field->DataType()) {
    case TFieldType::ftSmallint:
    case TFieldType::ftInteger:
    case TFieldType::ftWord:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
      return taRightJustify;
    default:
      return taLeftJustify;
  }
}

void TColumn::changed() { m_grid->LayoutChanged(); }

TColumn* TDBGridColumns::Add() {
  m_items.push_back(std::make_unique<TColumn>(m_grid));
  m_grid->LayoutChanged();
  return m_items.back().get();
}

void TDBGridColumns::Clear() {
  m_items.clear();
  m_grid->LayoutChanged();
}

}  // namespace velloria
