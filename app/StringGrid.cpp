#include "StringGrid.h"

#include <QFont>
#include <QHeaderView>

#include <algorithm>

TGridColumn::TGridColumn(const QString &name, const QString &header, int width, QObject *owner)
    : QObject(owner), Header(header), InitialWidth(width), Width(width) {
  setObjectName(name);
}

int TStringGridModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows; }

int TStringGridModel::columnCount(const QModelIndex &parent) const {
  return parent.isValid() ? 0 : int(m_columns.size());
}

const QString &TStringGridModel::cell(int column, int row) const {
  static const QString empty;
  if (column < 0 || column >= m_cells.size() || row < 0)
    return empty;
  const QVector<QString> &cells = m_cells[column];
  return row < cells.size() ? cells[row] : empty;
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
  m_cells.resize(m_columns.size());
  endInsertColumns();
}

void TStringGridModel::replaceRows(int rows, QVector<QVector<QString>> cellsByColumn) {
  cellsByColumn.resize(m_columns.size());
  const int before = m_rows;
  if (rows < before) {
    beginRemoveRows(QModelIndex(), rows, before - 1);
    m_rows = rows;
    m_cells = std::move(cellsByColumn);
    endRemoveRows();
  } else if (rows > before) {
    beginInsertRows(QModelIndex(), before, rows - 1);
    m_rows = rows;
    m_cells = std::move(cellsByColumn);
    endInsertRows();
  } else {
    m_cells = std::move(cellsByColumn);
  }
  const int kept = std::min(before, rows);
  if (kept > 0 && !m_columns.isEmpty())
    emit dataChanged(index(0, 0), index(kept - 1, int(m_columns.size()) - 1), {Qt::DisplayRole});
}

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
