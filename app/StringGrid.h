#pragma once
// The users grid: a table view over a model that holds the grid's own copy
// of the cell texts, column by column. Columns are objects named after the
// table field they show (their objectName); the model's column index of a
// column never changes, so a column the user drags elsewhere keeps its data.
//
// Copying a cell copies an implicitly shared QString, so a refill of 20,000
// rows costs reference counts, not text copies.

#include <QAbstractTableModel>
#include <QFont>
#include <QList>
#include <QTableView>
#include <QVector>

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

  // Replaces every cell at once. The view is told about the rows that came
  // or went and about the changed texts, never by a model reset, which
  // would also reset the columns' widths, order and visibility.
  void replaceRows(int rows, QVector<QVector<QString>> cellsByColumn);
  // Header items take `font`, bold on the columns marked HeaderBold.
  void headersRestyled(const QFont &font);

  const QString &cell(int column, int row) const;

private:
  QList<TGridColumn *> m_columns;
  QVector<QVector<QString>> m_cells; // [column][row]; empty for a column without data
  int m_rows = 0;
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
