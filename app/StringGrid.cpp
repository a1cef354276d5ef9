#include "StringGrid.h"

#include "MemTable.h"

#include <QFont>
#include <QHeaderView>

#include <algorithm>

TGridColumn::TGridColumn(const QString &name, const QString &header, int width, QObject *owner)
    : QObject(owner), Header(header), InitialWidth(width), Width(width) {
  setObjectName(name);
}

int TStringGridModel::rowCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : int(m_rows.size());
}

int TStringGridModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : int(m_columns.size());
}

const QString &TStringGridModel::cell(int column, int row) const {
  static const QString empty;
  if (!m_table || column < 0 || column >= m_fieldOfColumn.size() || row < 0 || row >= m_rows.size())
    return empty;
  const int field = m_fieldOfColumn[column];
  const int stored = m_rows[row];
  if (field < 0 || stored >= m_table->rowCount())
    return empty;
  return m_table->value(stored, field);
}

QVariant TStringGridModel::data(const QModelIndex &index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid())
    return QVariant();
  return cell(index.column(), index.row());
}

QVariant TStringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= m_columns.size())
    return QAbstractTableModel::headerData(section, orientation, role);
  const TGridColumn *column = m_columns[section];
  switch (role) {
  case Qt::DisplayRole:
    return column->Header;
  case Qt::FontRole: {
    if (!m_headerStyled)
      return QVariant();
    QFont font = m_headerFont;
    font.setBold(column->HeaderBold);
    return font;
  }
  default:
    return QVariant();
  }
}

Qt::ItemFlags TStringGridModel::flags(const QModelIndex &index) const {
  // Selectable, never editable.
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void TStringGridModel::appendColumn(TGridColumn *column) {
  const int at = int(m_columns.size());
  beginInsertColumns(QModelIndex(), at, at);
  m_columns.append(column);
  m_fieldOfColumn.append(-1);
  endInsertColumns();
}

void TStringGridModel::replaceRows(const TMemTable *table, QVector<int> rows, QVector<int> fieldOfColumn) {
  fieldOfColumn.resize(m_columns.size(), -1);
  const int before = int(m_rows.size());
  const int after = int(rows.size());
  auto take = [&] {
    m_table = table;
    m_rows = std::move(rows);
    m_fieldOfColumn = std::move(fieldOfColumn);
  };
  if (after < before) {
    beginRemoveRows(QModelIndex(), after, before - 1);
    take();
    endRemoveRows();
  } else if (after > before) {
    beginInsertRows(QModelIndex(), before, after - 1);
    take();
    endInsertRows();
  } else {
    take();
  }
  const int kept = std::min(before, after);
  if (kept > 0 && !m_columns.isEmpty())
    emit dataChanged(index(0, 0), index(kept - 1, int(m_columns.size()) - 1), {Qt::DisplayRole});
}

void TStringGridModel::detachTable() { replaceRows(nullptr, {}, {}); }

void TStringGridModel::headersRestyled(const QFont &font) {
  m_headerFont = font;
  m_headerStyled = true;
  if (!m_columns.isEmpty())
    emit headerDataChanged(Qt::Horizontal, 0, int(m_columns.size()) - 1);
}

TStringGrid::TStringGrid(QWidget *parent) : QTableView(parent), m_model(new TStringGridModel(this)) {
  setModel(m_model);
  setAlternatingRowColors(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setTabKeyNavigation(true);
  setShowGrid(true);
  setSortingEnabled(false); // the table sorts; the view only reports header clicks
  setWordWrap(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  QHeaderView *header = horizontalHeader();
  header->setSectionsMovable(true);
  header->setSectionsClickable(true);
  header->setSectionResizeMode(QHeaderView::Interactive);
  header->setHighlightSections(false);
  header->setStretchLastSection(false);
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setMinimumSectionSize(5); // declared widths go down to 5
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  viewport()->setMouseTracking(true);
  // A hidden section reports size 0; its column remembers its width.
  connect(header, &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
    if (size > 0 && logical >= 0 && logical < ColumnCount())
      Column(logical)->Width = size;
  });
}

TGridColumn *TStringGrid::columnByName(const QString &name, Qt::CaseSensitivity cs) const {
  for (TGridColumn *column : Columns())
    if (column->objectName().compare(name, cs) == 0)
      return column;
  return nullptr;
}

void TStringGrid::AddColumn(TGridColumn *column) {
  m_model->appendColumn(column);
  horizontalHeader()->resizeSection(ColumnCount() - 1, column->InitialWidth);
}

int TStringGrid::columnWidth(const TGridColumn *column) const {
  const int index = columnIndex(column);
  return isColumnHidden(index) ? column->Width : horizontalHeader()->sectionSize(index);
}

void TStringGrid::setColumnWidth(const TGridColumn *column, int width) {
  horizontalHeader()->resizeSection(columnIndex(column), width);
}

bool TStringGrid::isColumnVisible(const TGridColumn *column) const { return !isColumnHidden(columnIndex(column)); }
