// Main window: the export button.
#include "FLarkspan.h"

#include "APIWazo.h"
#include "SimpleMessDlg.h"
#include "TXLSExport.h"

void TFMainLarkspan::BtnExportXLSXClick(QObject *) {
  if (m_released || !UserTable)
    return;
  TBusyScope busy(*this);
  SaveDialog1->Filter = exportSaveDialogFilter();
  if (!SaveDialog1->Execute(this))
    return;
  const QString fileName = SaveDialog1->FileName;
  const QString result = ExportDataSet(*UserTable, fileName);
  ShowMessageButtons(this, exportMessageCaption(), exportOutcomeMessage(result, fileName), exportMessageButtons());
}
