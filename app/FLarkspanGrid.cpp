// Main window: the users grid (columns, refill, widths, sort, row click).
#include "FLarkspan.h"

#include "APIWazo.h"
#include "FUser.h"

#include <QFontMetricsF>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QScopeGuard>
#include <QSet>

#include <algorithm>

void TFMainLarkspan::buildGrid() {
  StringGrid = new TStringGrid(MainLayout1);
  StringGrid->setObjectName(QStringLiteral("StringGrid"));
  CheckColumn1 = new TGridColumn(QStringLiteral("CheckColumn1"), QStringLiteral("Check"), 40, StringGrid);
  StringGrid->AddColumn(CheckColumn1);
  StringGrid->setColumnHidden(StringGrid->columnIndex(CheckColumn1), true);
}

// One column per table field that has no column of its name yet; running
// it again adds nothing.
void TFMainLarkspan::setupGridColumns() {
  QSet<QString> existing;
  for (const TGridColumn *column : StringGrid->Columns())
    existing.insert(column->objectName().toCaseFolded());
  for (int f = 0; f < UserTable->fieldCount(); ++f) {
    const TMemField &field = UserTable->field(f);
    if (existing.contains(field.name.toCaseFolded()))
      continue;
    StringGrid->AddColumn(new TGridColumn(field.name, field.displayLabel, field.size, StringGrid));
    existing.insert(field.name.toCaseFolded());
  }
}

void TFMainLarkspan::RefreshGrid() {
  if (!UserTable)
    return;
  StringGrid->setUpdatesEnabled(false);
  const auto resume = qScopeGuard([this] { StringGrid->setUpdatesEnabled(true); });

  // The rows in sort order through the filter: a shared copy, so a later
  // sort or filter of the table does not move the grid's rows.
  QVector<int> rows = UserTable->visibleRows();
  QVector<int> fieldOfColumn(StringGrid->ColumnCount(), -1);
  for (int c = 0; c < StringGrid->ColumnCount(); ++c) // tied by name, whatever the column's position
    fieldOfColumn[c] = UserTable->findField(StringGrid->Column(c)->objectName());
  StringGrid->selectionModel()->clear();
  StringGrid->gridModel()->replaceRows(UserTable, std::move(rows), std::move(fieldOfColumn));

  StringGridApplyStyleLookup(StringGrid);
  if (bForceAutoSizeCol)
    AutoSizeColumns(StringGrid);
}

void TFMainLarkspan::AutoSizeColumns(TStringGrid *Grid) {
  const QFontMetricsF metrics(Grid->font());
  const int rows = Grid->RowCount();
  for (int c = 0; c < Grid->ColumnCount(); ++c) {
    const TGridColumn *column = Grid->Column(c);
    if (!Grid->isColumnVisible(column))
      continue; // hidden columns keep their width
    int width = qRound(metrics.horizontalAdvance(column->Header));
    for (int r = 0; r < rows; ++r)
      width = std::max(width, qRound(metrics.horizontalAdvance(Grid->Cells(c, r))));
    Grid->setColumnWidth(column, width + 15);
  }
}

// The header shows which column the list was last sorted by (not the
// direction).
void TFMainLarkspan::StringGridApplyStyleLookup(QObject *) {
  for (TGridColumn *column : StringGrid->Columns())
    column->HeaderBold = column->Tag == 1;
  StringGrid->gridModel()->headersRestyled(StringGrid->horizontalHeader()->font());
}

void TFMainLarkspan::StringGridHeaderClick(TGridColumn *Column) {
  if (!UserTable || !Column || UserTable->findField(Column->objectName()) < 0)
    return;
  const QString name = Column->objectName();
  // The toggle compares with the current specification only: ascending
  // unless this very field is sorted ascending now.
  if (UserTable->indexFieldNames() == name)
    UserTable->setIndexFieldNames(name + QStringLiteral(":D"));
  else
    UserTable->setIndexFieldNames(name);
  for (TGridColumn *column : StringGrid->Columns())
    column->Tag = 0;
  Column->Tag = 1;
  RefreshGrid();
}

void TFMainLarkspan::StringGridMouseMove(QObject *, Qt::KeyboardModifiers, qreal, qreal Y) {
  const int row = StringGrid->rowAt(int(Y));
  if (row < 0)
    return;
  QModelIndex current = StringGrid->currentIndex();
  if (current.isValid() && current.row() == row)
    return;
  int column = current.isValid() ? current.column() : StringGrid->horizontalHeader()->logicalIndexAt(0);
  if (column < 0)
    column = 0;
  // Following the pointer must not scroll the grid sideways to the current
  // column; keyboard moves still scroll.
  const bool autoScroll = StringGrid->hasAutoScroll();
  StringGrid->setAutoScroll(false);
  StringGrid->selectionModel()->setCurrentIndex(StringGrid->model()->index(row, column),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  StringGrid->setAutoScroll(autoScroll);
}

namespace {
QString *userField(TUser &user, const QString &name) {
  // Same case only: the grid's columns bear the field names exactly.
  if (name == QLatin1String("id"))
    return &user.id;
  if (name == QLatin1String("firstname"))
    return &user.firstname;
  if (name == QLatin1String("lastname"))
    return &user.lastname;
  if (name == QLatin1String("uuid"))
    return &user.uuid;
  if (name == QLatin1String("email"))
    return &user.email;
  if (name == QLatin1String("call_permissions"))
    return &user.call_permissions;
  if (name == QLatin1String("extensions"))
    return &user.extensions;
  if (name == QLatin1String("did"))
    return &user.did;
  return nullptr;
}
} // namespace

// The user is read from what the grid shows in the row, not from the table.
void TFMainLarkspan::StringGridCellClick(TGridColumn *, int Row) {
  if (m_released || !FFormUser || Row < 0 || Row >= StringGrid->RowCount())
    return;
  TUser user;
  for (int c = 0; c < StringGrid->ColumnCount(); ++c)
    if (QString *field = userField(user, StringGrid->Column(c)->objectName()))
      *field = StringGrid->Cells(c, Row);
  if (user.uuid.isEmpty())
    return;
  TBusyScope busy(*this);
  TResExtract res;
  FFormUser->ShowAndGet(user, res);
  if (res.iRes == -1)
    BtnReloadClick(nullptr);
}
