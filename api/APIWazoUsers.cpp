// The user table: creation, the load of the users list joined with the
// incoming calls, and the release of the table and the maps.

#include "APIWazoData.h"
#include "JsonReading.h"
#include "LarkspanError.h"

#include <functional>

TMemTable *UserTable = nullptr;

namespace {

struct FieldDef {
  const char *name;
  int size;
};

// Field order is the order of the grid's columns.
const FieldDef kUserFields[] = {
    {"firstname", 80}, {"lastname", 80},           {"email", 80},
    {"call_permissions", 80}, {"extensions", 20}, {"caller_id", 80},
    {"did", 20},       {"outgoing_caller_id", 80}, {"id", 5},
    {"uuid", 80},
};

QString messageOf(const std::exception &e) {
  if (auto *le = dynamic_cast<const LarkspanError *>(&e))
    return le->message();
  return QString::fromUtf8(e.what());
}

// The DID shown for each user. Several incoming calls may ring one user; the
// lowest number is taken so that the choice does not vary between runs.
// Incoming calls that ring no user (empty user_id) are left out: they are
// the free DIDs, not the DIDs of a user without id.
QHash<QString, QString> didsByUser(const TDidMap *dids) {
  QHash<QString, QString> index;
  if (!dids)
    return index;
  index.reserve(dids->size());
  for (auto it = dids->cbegin(); it != dids->cend(); ++it) {
    const TDid &did = it.value();
    if (did.user_id.isEmpty())
      continue;
    auto found = index.find(did.user_id);
    if (found == index.end())
      index.insert(did.user_id, did.extension_exten);
    else if (did.extension_exten < found.value())
      found.value() = did.extension_exten;
  }
  return index;
}

} // namespace

void CreateUserTable() {
  if (UserTable || PermMap || DidMap || ExtMap)
    FreeDirectory();
  PermMap = new TPermMap;
  DidMap = new TDidMap;
  ExtMap = new TExtMap;
  UserTable = new TMemTable;
  UserTable->setFilterCaseInsensitive(true);
  try {
    for (const FieldDef &f : kUserFields) {
      const QString name = QLatin1String(f.name);
      UserTable->addField(name, f.size, QString(name).replace(u'_', u' '));
    }
    UserTable->setIndexFieldNames(QStringLiteral("extensions"));
  } catch (const std::exception &e) {
    TraceLine(QStringLiteral("Erreur N°:") + messageOf(e));
  }
}

void LoadUsers(const QString &Text) {
  if (!UserTable)
    throw LarkspanError(QStringLiteral("UserTable used before CreateUserTable"));
  TMemTable &table = *UserTable;
  const std::optional<QJsonObject> root = jsonread::parseBody(Text);
  if (!root)
    return;
  table.clearRows();

  const QHash<QString, QString> didOf = didsByUser(DidMap);
  QString lastField; // the field most recently reached, for the failure line
  try {
    const QJsonArray items = jsonread::array(*root, QLatin1String("items"));

    // One setter per table field, in the table's field order, tied by name.
    using Setter = std::function<void(int row, int field, const QJsonObject &user,
                                      const QString &userId)>;
    struct Step {
      int field;
      QString name;
      Setter set;
    };
    std::vector<Step> steps;
    for (int f = 0; f < table.fieldCount(); ++f) {
      const QString name = table.field(f).name;
      Setter set;
      if (name == QLatin1String("did")) {
        set = [&](int row, int field, const QJsonObject &, const QString &userId) {
          if (userId.isEmpty())
            return;
          auto it = didOf.constFind(userId);
          if (it != didOf.constEnd())
            table.setValue(row, field, it.value());
        };
      } else if (name == QLatin1String("call_permissions")) {
        set = [&](int row, int field, const QJsonObject &user, const QString &) {
          const QJsonArray perms = jsonread::array(user, QLatin1String("call_permissions"));
          if (perms.isEmpty())
            return;
          const QJsonObject first = jsonread::object(perms.at(0), QLatin1String("call permission"));
          table.setValue(row, field, jsonread::text(first, QLatin1String("name")));
        };
      } else if (name == QLatin1String("extensions")) {
        set = [&](int row, int field, const QJsonObject &user, const QString &) {
          const QJsonArray lines = jsonread::array(user, QLatin1String("lines"));
          if (lines.isEmpty())
            return;
          const QJsonObject line = jsonread::object(lines.at(0), QLatin1String("line"));
          const QJsonArray extens = jsonread::array(line, QLatin1String("extensions"));
          if (extens.isEmpty())
            return;
          const QJsonObject first = jsonread::object(extens.at(0), QLatin1String("extension"));
          table.setValue(row, field, jsonread::text(first, QLatin1String("exten")));
        };
      } else {
        const QByteArray key = name.toLatin1();
        set = [&table, key](int row, int field, const QJsonObject &user, const QString &) {
          const QLatin1String k(key);
          const QJsonValue v = user.value(k);
          if (v.isUndefined() || v.isNull())
            return;
          table.setValue(row, field, jsonread::text(v, k));
        };
      }
      steps.push_back({f, name, std::move(set)});
    }

    table.reserveRows(int(items.size()));
    for (const QJsonValue &element : items) {
      const QJsonObject user = jsonread::object(element, QLatin1String("user"));
      const int row = table.appendRow();
      const QString userId = jsonread::text(user, QLatin1String("id"));
      for (const Step &step : steps) {
        lastField = step.name;
        step.set(row, step.field, user, userId);
      }
    }
  } catch (const std::exception &e) {
    if (!lastField.isEmpty())
      TraceLine(QStringLiteral("Erreur lecture users lecture: ") + lastField
                + QStringLiteral(" , N°:") + messageOf(e) + QStringLiteral(" : "));
  }
}

void FreeDirectory() {
  delete UserTable;
  UserTable = nullptr;
  delete DidMap;
  DidMap = nullptr;
  delete PermMap;
  PermMap = nullptr;
  delete ExtMap;
  ExtMap = nullptr;
}
