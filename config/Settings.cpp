#include "Settings.h"

#include "IniFile.h"
#include "OPortDesc.h"

#include <QFileInfo>

const char *const DefaultBaseUrl = "https://api.wazo.community";

namespace {
const QString Section = QStringLiteral("API_1");
} // namespace

void LoadSettings(const QString &fileName) {
  // The type is not in the file: set first, so that a file that cannot be
  // read still leaves an HTTP connection whose summary the dialog compares.
  PortConfig->SetPB_TYPEPORT(9);
  const QString path = QFileInfo(fileName).absoluteFilePath();
  if (QFileInfo::exists(path)) {
    IniFile old(path);
    if (old.replaceLine(QStringLiteral("[API]"), QStringLiteral("[API_1]")))
      old.commit();
  }
  const IniFile ini(path);
  TOProtoTypePBX &pc = *PortConfig;
  pc.SetPB_HTTP_USERNAME(ini.readString(Section, QStringLiteral("USERNAME"), QStringLiteral("zjfagtbtba")));
  pc.SetPB_HTTP_PASSW(ini.readString(Section, QStringLiteral("PASSW"), QStringLiteral("kiwiplum")));
  pc.SetPB_HTTP_NUMPORT(ini.readString(Section, QStringLiteral("NUMPORT"), QStringLiteral("443")));
  pc.SetPB_HTTP_DATA(ini.readString(Section, QStringLiteral("DATA"), QStringLiteral("{\"expiration\": 6}")));
  pc.SetPB_HTTP_BASE_URL(ini.readString(Section, QStringLiteral("BASE_URL"), QString::fromLatin1(DefaultBaseUrl)));
  pc.SetPB_USEPERM(ini.readString(Section, QStringLiteral("UsePermission"), QStringLiteral("1")));
  pc.SetPB_OPEN(ini.readString(Section, QStringLiteral("AllowPermission"), QString()));
  pc.SetPB_CLOSE(ini.readString(Section, QStringLiteral("DenyPermission"), QString()));
}

void SaveSettings(const QString &fileName) {
  IniFile ini(fileName);
  const TOProtoTypePBX &pc = *PortConfig;
  ini.writeString(Section, QStringLiteral("USERNAME"), pc.PB_HTTP_USERNAME());
  ini.writeString(Section, QStringLiteral("PASSW"), pc.PB_HTTP_PASSW());
  ini.writeString(Section, QStringLiteral("NUMPORT"), pc.PB_HTTP_NUMPORT());
  ini.writeString(Section, QStringLiteral("DATA"), pc.PB_HTTP_DATA());
  ini.writeString(Section, QStringLiteral("BASE_URL"), pc.PB_HTTP_BASE_URL());
  ini.writeString(Section, QStringLiteral("AllowPermission"), pc.PB_OPEN());
  ini.writeString(Section, QStringLiteral("DenyPermission"), pc.PB_CLOSE());
  ini.writeString(Section, QStringLiteral("UsePermission"), pc.PB_USEPERM());
  ini.commit(); // all eight keys at once, or the file stays as it was
}
