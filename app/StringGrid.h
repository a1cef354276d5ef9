#pragma once
// The users grid: a table view over a model that keeps, at each refill, the
// table's rows in their order through the filter (a shared copy of the row
// list) and, per column, the table field of the column's name. Cells are
// read from the table through that snapshot, so a refill of 20,000 rows
// copies no text. The table's rows change only in a reload, which refills
// the grid right after; a cell outside the table reads as empty.
//
// Columns are objects named after the table field they show (their
// objectName); the model's column index of a column never changes, so a
// column the user drags elsewhere keeps its data.

#include <QAbstractTableModel>
#include <QFont>
#include <QList>
#include <QTableView>
#include <QVector>

class TMemTable;

class TGridColumn : public QObject {
  Q_OBJECT
public:
  TGridColumn(const QString &name, const QString &header, int width, QObject *owner);

  QString Header;
  int InitialWidth = 0;
  int Width = 0;         // kept while the column is hidden
  int Tag = 0;           // 1 on the column the list was last sorted by
  bool HeaderBold = false; // decided when the grid's style is applied
};

class TStringGridModel final : public QAbstractTableModel {
  Q_OBJECT
public:
  using QAbstractTableModel::QAbstractTableModel;

  int rowCount(const QModelIndex &parent = QModelIndex()) const override;
  int columnCount(const QModelIndex &parent = QModelIndex()) const override;
  QVariant data(const QModelIndex &index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex &index) const override;

  void appendColumn(TGridColumn *column);
  const QList<TGridColumn *> &gridColumns() const { return m_columns; }

  // Shows `rows` (storage indexes of `table`), column c showing field
  // fieldOfColumn[c] (-1: nothing). The view is told about the rows that
  // came or went and about the changed texts, never by a model reset, which
  // would also reset the columns' widths, order and visibility.
  void replaceRows(const TMemTable *table, QVector<int> rows, QVector<int> fieldOfColumn);
  // Forgets the table (before it is released); the grid shows no rows.
  void detachTable();
  // Header items take `font`, bold on the columns marked HeaderBold.
  void headersRestyled(const QFont &font);

  const QString &cell(int column, int row) const;

private:
  QList<TGridColumn *> m_columns;
  const TMemTable *m_table = nullptr;
  QVector<int> m_rows;         // storage indexes in the order shown
  QVector<int> m_fieldOfColumn; // table field per model column, -1 for none
  QFont m_headerFont;
  bool m_headerStyled = false;
};

class TStringGrid final : public QTableView {
  Q_OBJECT
public:
  explicit TStringGrid(QWidget *parent = nullptr);

  TStringGridModel *gridModel() const { return m_model; }
  // Columns in model order (not the order they are shown in).
  const QList<TGridColumn *> &Columns() const { return m_model->gridColumns(); }
  int ColumnCount() const { return Columns().size(); }
  TGridColumn *Column(int index) const { return Columns().at(index); }
  int columnIndex(const TGridColumn *column) const { return Columns().indexOf(const_cast<TGridColumn *>(column)); }
  TGridColumn *columnByName(const QString &name, Qt::CaseSensitivity cs = Qt::CaseInsensitive) const;
  void AddColumn(TGridColumn *column);

  int RowCount() const { return m_model->rowCount(); }
  const QString &Cells(int column, int row) const { return m_model->cell(column, row); }

  int columnWidth(const TGridColumn *column) const;
  void setColumnWidth(const TGridColumn *column, int width);
  bool isColumnVisible(const TGridColumn *column) const;

private:
  TStringGridModel *m_model;
};
