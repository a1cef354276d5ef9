// Deterministic dataset of any size: names that stress quoting and accents,
// users without line or permission, extensions with leading zeros, DIDs that
// ring a user, ring nobody, ring a group, or have no number at all.

#include "FakeData.h"

#include <QUuid>

namespace {

const char *const FirstNames[] = {"Zoé",       "Renée \"Nini\"", "Jean-François", "Anaïs",     "Chloé",     "Héloïse",
                                  "Benoît",    "Gaël",           "Ségolène",      "Loïc",      "Maëlle",    "Jérôme",
                                  "Françoise", "Noël",           "Björn",         "Joséphine", "Amélie",    "Léa",
                                  "Thérèse",   "Hélène",         "Agnès",         "Dominique", "Ana María", "Łukasz",
                                  "Siobhán",   "Çağla",          "Søren",         "Ines",      "Marc",      "Paul",
                                  "Sophie",    "Karim",          "D'Arcy",        "Élodie",    "Zoë",       "Mathis",
                                  "Nuño",      "Oğuz",           "Yannick",       "Brontë"};

const char *const LastNames[] = {"O'Brien",
                                 "Müller",
                                 "Lefèvre",
                                 "D'Angelo",
                                 "Dupont-Aignan",
                                 "Nguyễn",
                                 "García Márquez",
                                 "L'Hôte",
                                 "Østergård",
                                 "Çelik",
                                 "Martin",
                                 "Bernard",
                                 "Thomas",
                                 "Petit",
                                 "Robert",
                                 "Richard",
                                 "Durand",
                                 "Dubois",
                                 "Moreau",
                                 "Laurent",
                                 "Simon",
                                 "Michel",
                                 "Lefebvre",
                                 "Leroy",
                                 "Roux",
                                 "David",
                                 "Bertrand",
                                 "Morel",
                                 "Fournier",
                                 "Girard",
                                 "Bonnet",
                                 "Dupré",
                                 "Lambert",
                                 "Fontaine",
                                 "Rousseau",
                                 "Vincent",
                                 "Müller-Lüdenscheidt",
                                 "de la Fontaine",
                                 "Saint-Exupéry",
                                 "N'Diaye",
                                 "\"Le Grand\" Duc"};

const char *const Permissions[][3] = {
    {"Interne", "allow", "_1XXXX"},
    {"National", "allow", "_0[1-9]XXXXXXXX"},
    {"International", "allow", "_00."},
    {"Mobiles", "allow", "_0[67]XXXXXXXX"},
    {"Urgences seules", "allow", "_11X"},
    {"Aucune sortie", "deny", "_X."},
    {"Numéros surtaxés", "deny", "_08XXXXXXXX"},
};

constexpr int FirstCount = int(sizeof FirstNames / sizeof *FirstNames);
constexpr int LastCount = int(sizeof LastNames / sizeof *LastNames);
constexpr int PermissionCount = int(sizeof Permissions / sizeof *Permissions);

// Small mixing function: the same index always gives the same pick, but
// neighbouring users do not get neighbouring names.
quint32 mix(quint32 x) {
  x ^= x >> 16;
  x *= 0x7feb352dU;
  x ^= x >> 15;
  x *= 0x846ca68bU;
  x ^= x >> 16;
  return x;
}

QString asciiLocal(const QString &text) {
  QString folded = text.normalized(QString::NormalizationForm_KD);
  QString out;
  for (QChar c : std::as_const(folded)) {
    if (c.unicode() < 128 && (c.isLetterOrNumber()))
      out.append(c.toLower());
    else if (c == QLatin1Char(' ') || c == QLatin1Char('-'))
      out.append(QLatin1Char('.'));
  }
  return out;
}

QString uuidFor(const char *kind, qint64 id) {
  static const QUuid ns(QStringLiteral("{3b241101-e2bb-4255-8caf-4136c566a962}"));
  return QUuid::createUuidV5(ns, QStringLiteral("%1-%2").arg(QLatin1String(kind)).arg(id))
      .toString(QUuid::WithoutBraces);
}

} // namespace

FakeData FakeData::generate(int userCount) {
  FakeData data;
  data.tenantUuid = QStringLiteral("6f3c2e1a-44b0-4d8e-9a51-0c7d2b9e4f10");

  for (int p = 0; p < PermissionCount; ++p) {
    FakeCallPermission permission;
    permission.id = p + 1;
    permission.name = QString::fromUtf8(Permissions[p][0]);
    permission.mode = QString::fromUtf8(Permissions[p][1]);
    permission.extensions = {QString::fromUtf8(Permissions[p][2])};
    data.callPermissions.insert(permission.id, permission);
  }

  qint64 nextExtension = 1001;
  qint64 nextLine = 101;
  qint64 nextIncall = 1;
  for (int i = 1; i <= userCount; ++i) {
    const quint32 h = mix(quint32(i));
    FakeUser u;
    u.id = i;
    u.uuid = uuidFor("user", i);
    u.firstname = QString::fromUtf8(FirstNames[h % FirstCount]);
    if (i % 17 != 0)
      u.lastname = QString::fromUtf8(LastNames[(h >> 8) % LastCount]);
    const QString full = (u.firstname + QLatin1Char(' ') + u.lastname.value_or(QString())).trimmed();
    if (i % 7 != 0)
      u.email = asciiLocal(full) + QString::number(i) + QStringLiteral("@example.org");
    u.callerId = QLatin1Char('"') + full + QLatin1Char('"');
    if (i % 9 == 0)
      u.outgoingCallerId = QStringLiteral("anonymous");
    else if (i % 10 == 0)
      u.outgoingCallerId = QStringLiteral("\"Accueil\" <0140000000>");

    if (i % 11 != 0) {
      FakeExtension extension;
      extension.id = nextExtension++;
      // Some numbering plans keep a leading zero; the text must survive as is.
      extension.exten = i % 13 == 0 ? QLatin1Char('0') + QString::number(i).rightJustified(4, QLatin1Char('0'))
                                    : QString::number(10000 + i);
      data.extensions.insert(extension.id, extension);
      FakeLine line;
      line.id = nextLine++;
      line.name = QStringLiteral("%1").arg(mix(quint32(line.id)), 8, 36, QLatin1Char('a'));
      line.extensionIds = {extension.id};
      data.lines.insert(line.id, line);
      u.lineIds = {line.id};
    }
    if (i % 5 != 0) {
      u.permissionIds = {qint64(h % PermissionCount) + 1};
      if (i % 23 == 0)
        u.permissionIds.append(qint64((h + 3) % PermissionCount) + 1);
    }
    data.users.insert(u.id, u);

    // DIDs: one user in three has one; one DID in four rings nobody; a few
    // ring a group.
    auto did = [&](const QJsonObject &destination, bool withNumber) {
      FakeIncall incall;
      incall.id = nextIncall++;
      incall.destination = destination;
      if (withNumber) {
        FakeExtension extension;
        extension.id = nextExtension++;
        extension.exten = QStringLiteral("0%1").arg(140000000 + incall.id, 9, 10, QLatin1Char('0'));
        extension.context = QStringLiteral("from-extern");
        data.extensions.insert(extension.id, extension);
        incall.extensionIds = {extension.id};
      }
      data.incalls.insert(incall.id, incall);
    };
    if (i % 3 == 1)
      did({{QStringLiteral("type"), QStringLiteral("user")},
           {QStringLiteral("user_id"), u.id},
           {QStringLiteral("ring_time"), QJsonValue::Null}},
          true);
    if (i % 4 == 2)
      did({{QStringLiteral("type"), QStringLiteral("none")}}, true);
    if (i % 50 == 25)
      did({{QStringLiteral("type"), QStringLiteral("group")},
           {QStringLiteral("group_id"), 1 + i % 3},
           {QStringLiteral("ring_time"), 20}},
          true);
    if (i == 6)
      did({{QStringLiteral("type"), QStringLiteral("none")}}, false);
  }

  for (int d = 0; d < 3; ++d)
    data.devices.append({QUuid::createUuidV5(QUuid(), QString::number(d)).toString(QUuid::Id128),
                         QStringLiteral("00:15:65:ab:cd:%1").arg(d + 16, 2, 16, QLatin1Char('0')),
                         QStringLiteral("10.0.10.%1").arg(40 + d)});
  return data;
}
