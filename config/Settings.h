#pragma once
// Reads and writes PortConfig from and to the settings file ("[API_1]").

#include <QString>

// Public base address of the exchange's API, used when the file has none.
extern const char *const DefaultBaseUrl;

void LoadSettings(const QString &fileName);
// Throws LarkspanError naming the file when the save fails; the file is
// then left exactly as it was.
void SaveSettings(const QString &fileName);
