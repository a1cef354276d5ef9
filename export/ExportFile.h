#pragma once
// Runs a writer so that a failed export never damages the file it replaces:
// the writer fills a temporary file beside the target, which is renamed over
// the target only once the writer has succeeded.

#include "ExportWriter.h"

// Throws LarkspanError naming `fileName` and the cause.
void writeExportFile(const TExportWriter &writer, const TExportSnapshot &snapshot,
                     const QString &fileName);

// Writes the snapshot in the format of `fileName`'s extension. Returns
// `fileName` on success, or "@" followed by the error message.
QString exportSnapshot(const TExportSnapshot &snapshot, const QString &fileName);
