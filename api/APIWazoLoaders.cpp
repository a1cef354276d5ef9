// The reference maps: call permissions, incoming calls, extensions.

#include "APIWazoData.h"
#include "JsonReading.h"
#include "LarkspanError.h"

TPermMap *PermMap = nullptr;
TDidMap *DidMap = nullptr;
TExtMap *ExtMap = nullptr;

namespace {

template <typename Map> Map &created(Map *map, const char *name) {
  if (!map)
    throw LarkspanError(QStringLiteral("%1 used before CreateUserTable").arg(QLatin1String(name)));
  return *map;
}

const QLatin1String kItems("items");
const QLatin1String kId("id");

TDid readIncall(const QJsonValue &element) {
  using namespace jsonread;
  const QJsonObject item = object(element, QLatin1String("incoming call"));
  TDid did;
  did.id = text(item, kId);

  const QLatin1String userKeys[] = {QLatin1String("user_id"), QLatin1String("user_firstname"),
                                    QLatin1String("user_lastname")};
  QString *userFields[] = {&did.user_id, &did.user_firstname, &did.user_lastname};
  const bool hasDestination = present(item, QLatin1String("destination"));
  const QJsonObject destination =
      hasDestination ? object(item.value(QLatin1String("destination")), QLatin1String("destination"))
                     : QJsonObject();
  for (int i = 0; i < 3; ++i)
    *userFields[i] = text(hasDestination ? destination : item, userKeys[i]);

  const QLatin1String extensionsKey("extensions");
  if (!present(item, extensionsKey)) {
    did.extension_id = text(item, QLatin1String("extension_id"));
    did.extension_exten = text(item, QLatin1String("extension_exten"));
  } else {
    const QJsonArray extensions = array(item, extensionsKey);
    if (!extensions.isEmpty()) {
      const QJsonObject first = object(extensions.at(0), QLatin1String("extension"));
      did.extension_id = text(first, kId);
      did.extension_exten = text(first, QLatin1String("exten"));
    }
  }
  did.compl_number = text(item, QLatin1String("compl_number"));
  return did;
}

TExt readExtension(const QJsonValue &element) {
  using namespace jsonread;
  const QJsonObject item = object(element, QLatin1String("extension"));
  TExt ext;
  ext.id = text(item, kId);
  ext.exten = text(item, QLatin1String("exten"));
  const QJsonArray lines = array(item, QLatin1String("lines"));
  if (!lines.isEmpty())
    ext.line_id = text(object(lines.at(0), QLatin1String("line")), kId);
  return ext;
}

// The guarded pass of the incalls and extensions lists. An item without a
// number is skipped and a number already present keeps its first entry: a
// second incoming call without extension, or the same extension number in
// two contexts, must not drop every later item. An item that cannot be read
// ends the pass quietly, keeping what was read.
template <typename Map, typename Read, typename Key>
void guardedPass(const QJsonObject &root, Map &map, Read read, Key key) {
  try {
    const QJsonArray items = jsonread::array(root, kItems);
    for (const QJsonValue &element : items) {
      auto record = read(element);
      const QString &k = key(record);
      if (k.isEmpty() || map.contains(k))
        continue;
      map.insert(k, std::move(record));
    }
  } catch (const std::exception &) {
    // Quiet by design: RestGet has already traced the body.
  }
}

} // namespace

void LoadPermissions(const QString &Text) {
  TPermMap &map = created(PermMap, "PermMap");
  const std::optional<QJsonObject> root = jsonread::parseBody(Text);
  if (!root)
    return;
  map.clear();
  const QJsonArray items = jsonread::array(*root, kItems);
  for (const QJsonValue &element : items) {
    const QJsonObject item = jsonread::object(element, QLatin1String("call permission"));
    const QLatin1String kName("name");
    if (!jsonread::present(item, kName) || !jsonread::present(item, kId))
      continue;
    TPerm perm;
    perm.id = jsonread::text(item, kId);
    perm.name = jsonread::text(item, kName);
    if (map.contains(perm.name))
      throw LarkspanError(QStringLiteral("Duplicate call permission name: %1").arg(perm.name));
    map.insert(perm.name, perm);
  }
}

void LoadIncalls(const QString &Text) {
  TDidMap &map = created(DidMap, "DidMap");
  const std::optional<QJsonObject> root = jsonread::parseBody(Text);
  map.clear();
  if (!root)
    return;
  guardedPass(*root, map, readIncall, [](const TDid &d) -> const QString & {
    return d.extension_exten;
  });
}

void LoadExtensions(const QString &Text) {
  TExtMap &map = created(ExtMap, "ExtMap");
  const std::optional<QJsonObject> root = jsonread::parseBody(Text);
  map.clear();
  if (!root)
    return;
  guardedPass(*root, map, readExtension, [](const TExt &e) -> const QString & {
    // Extensions of incoming calls and groups belong to no line.
    static const QString none;
    return e.line_id.isEmpty() ? none : e.exten;
  });
}
