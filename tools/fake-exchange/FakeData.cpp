#include "FakeData.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

namespace {

const QString LinkBase = QStringLiteral("https://127.0.0.1/api/confd/1.1/");

QJsonValue optText(const std::optional<QString> &value) {
  return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonArray links(const QString &rel, const QString &id) {
  return QJsonArray{
      QJsonObject{{QStringLiteral("rel"), rel}, {QStringLiteral("href"), LinkBase + rel + QLatin1Char('/') + id}}};
}

QJsonArray links(const QString &rel, qint64 id) {
  return links(rel, QString::number(id));
}

QJsonArray idArray(const QList<qint64> &ids) {
  QJsonArray result;
  for (qint64 id : ids)
    result.append(id);
  return result;
}

QByteArray compact(const QJsonObject &object) {
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

FakeReply notFound(const QString &what, qint64 id) {
  return {404, errorArray(QStringLiteral("Resource Not Found - %1 was not found ('id': %2)").arg(what).arg(id))};
}

// A JSON integer, refusing fractions and other types.
std::optional<qint64> integerOf(const QJsonValue &value) {
  if (!value.isDouble())
    return std::nullopt;
  const double d = value.toDouble();
  const auto i = static_cast<qint64>(d);
  if (static_cast<double>(i) != d)
    return std::nullopt;
  return i;
}

// Reads a member list of ids from a dataset item.
bool readIds(const QJsonObject &object, const QString &member, QList<qint64> &ids, QString *error) {
  const QJsonValue value = object.value(member);
  if (value.isUndefined() || value.isNull())
    return true;
  if (!value.isArray()) {
    *error = QStringLiteral("'%1' must be an array of ids").arg(member);
    return false;
  }
  for (const QJsonValue &v : value.toArray()) {
    const auto id = integerOf(v.isObject() ? v.toObject().value(QStringLiteral("id")) : v);
    if (!id) {
      *error = QStringLiteral("'%1' holds something else than an id").arg(member);
      return false;
    }
    ids.append(*id);
  }
  return true;
}

std::optional<QString> readOptText(const QJsonObject &object, const QString &member) {
  const QJsonValue value = object.value(member);
  if (!value.isString() || value.toString().isEmpty())
    return std::nullopt;
  return value.toString();
}

template <class T>
bool readItems(const QJsonObject &dataset, const QString &member, QMap<qint64, T> &into, QString *error,
               bool (*read)(const QJsonObject &, T &, QString *)) {
  for (const QJsonValue &v : dataset.value(member).toArray()) {
    const QJsonObject object = v.toObject();
    const auto id = integerOf(object.value(QStringLiteral("id")));
    if (!id) {
      *error = QStringLiteral("an item of '%1' has no integer id").arg(member);
      return false;
    }
    if (into.contains(*id)) {
      *error = QStringLiteral("id %1 appears twice in '%2'").arg(*id).arg(member);
      return false;
    }
    T item;
    item.id = *id;
    if (!read(object, item, error)) {
      *error = QStringLiteral("%1 %2: %3").arg(member).arg(*id).arg(*error);
      return false;
    }
    into.insert(*id, item);
  }
  return true;
}

bool readUser(const QJsonObject &o, FakeUser &u, QString *error) {
  u.uuid = o.value(QStringLiteral("uuid")).toString();
  u.firstname = o.value(QStringLiteral("firstname")).toString();
  u.lastname = readOptText(o, QStringLiteral("lastname"));
  u.email = readOptText(o, QStringLiteral("email"));
  u.callerId = o.value(QStringLiteral("caller_id")).toString();
  if (u.callerId.isEmpty())
    u.callerId = QLatin1Char('"') + (u.firstname + QLatin1Char(' ') + u.lastname.value_or(QString())).trimmed() +
                 QLatin1Char('"');
  u.outgoingCallerId = readOptText(o, QStringLiteral("outgoing_caller_id"));
  return readIds(o, QStringLiteral("lines"), u.lineIds, error) &&
         readIds(o, QStringLiteral("call_permissions"), u.permissionIds, error);
}

bool readLine(const QJsonObject &o, FakeLine &l, QString *error) {
  l.name = o.value(QStringLiteral("name")).toString(QStringLiteral("line%1").arg(l.id));
  l.context = o.value(QStringLiteral("context")).toString(QStringLiteral("default"));
  return readIds(o, QStringLiteral("extensions"), l.extensionIds, error);
}

bool readExtension(const QJsonObject &o, FakeExtension &e, QString *error) {
  const QJsonValue exten = o.value(QStringLiteral("exten"));
  if (!exten.isString()) {
    *error = QStringLiteral("'exten' must be a string");
    return false;
  }
  e.exten = exten.toString();
  e.context = o.value(QStringLiteral("context")).toString(QStringLiteral("default"));
  return true;
}

bool readIncall(const QJsonObject &o, FakeIncall &i, QString *error) {
  i.destination = o.value(QStringLiteral("destination")).toObject();
  if (i.destination.isEmpty())
    i.destination = QJsonObject{{QStringLiteral("type"), QStringLiteral("none")}};
  return readIds(o, QStringLiteral("extensions"), i.extensionIds, error);
}

bool readCallPermission(const QJsonObject &o, FakeCallPermission &p, QString *) {
  p.name = o.value(QStringLiteral("name")).toString();
  p.mode = o.value(QStringLiteral("mode")).toString(QStringLiteral("deny"));
  for (const QJsonValue &v : o.value(QStringLiteral("extensions")).toArray())
    p.extensions.append(v.toString());
  p.description = readOptText(o, QStringLiteral("description"));
  return true;
}

const QRegularExpression &callerIdPattern() {
  static const QRegularExpression re(QStringLiteral(R"re(^"(.*)"( <\+?\d+>)?$)re"));
  return re;
}

const QRegularExpression &emailPattern() {
  static const QRegularExpression re(QStringLiteral(R"(^[^@\s]+@[^@\s]+\.[^@\s.]+$)"));
  return re;
}

QString fieldError(const QString &field, const QString &message) {
  return QStringLiteral("Input Error - field '%1': ['%2']").arg(field, message);
}

} // namespace

QByteArray errorArray(const QString &message) {
  return QJsonDocument(QJsonArray{message}).toJson(QJsonDocument::Compact);
}

std::optional<FakeData> FakeData::fromJson(const QJsonObject &dataset, QString *error) {
  FakeData data;
  data.tenantUuid =
      dataset.value(QStringLiteral("tenant_uuid")).toString(QStringLiteral("6f3c2e1a-44b0-4d8e-9a51-0c7d2b9e4f10"));
  if (!readItems(dataset, QStringLiteral("users"), data.users, error, readUser) ||
      !readItems(dataset, QStringLiteral("lines"), data.lines, error, readLine) ||
      !readItems(dataset, QStringLiteral("extensions"), data.extensions, error, readExtension) ||
      !readItems(dataset, QStringLiteral("incalls"), data.incalls, error, readIncall) ||
      !readItems(dataset, QStringLiteral("callpermissions"), data.callPermissions, error, readCallPermission))
    return std::nullopt;
  for (const QJsonValue &v : dataset.value(QStringLiteral("devices")).toArray()) {
    const QJsonObject o = v.toObject();
    data.devices.append({o.value(QStringLiteral("id")).toString(), o.value(QStringLiteral("mac")).toString(),
                         o.value(QStringLiteral("ip")).toString()});
  }
  // Dangling links would make the rendered lists lie; refuse them early.
  for (const FakeUser &u : std::as_const(data.users)) {
    for (qint64 id : u.lineIds)
      if (!data.lines.contains(id)) {
        *error = QStringLiteral("user %1 names unknown line %2").arg(u.id).arg(id);
        return std::nullopt;
      }
    for (qint64 id : u.permissionIds)
      if (!data.callPermissions.contains(id)) {
        *error = QStringLiteral("user %1 names unknown call permission %2").arg(u.id).arg(id);
        return std::nullopt;
      }
  }
  for (const FakeLine &l : std::as_const(data.lines))
    for (qint64 id : l.extensionIds)
      if (!data.extensions.contains(id)) {
        *error = QStringLiteral("line %1 names unknown extension %2").arg(l.id).arg(id);
        return std::nullopt;
      }
  for (const FakeIncall &i : std::as_const(data.incalls))
    for (qint64 id : i.extensionIds)
      if (!data.extensions.contains(id)) {
        *error = QStringLiteral("incall %1 names unknown extension %2").arg(i.id).arg(id);
        return std::nullopt;
      }
  return data;
}

QJsonObject FakeData::toJson() const {
  QJsonArray usersOut, linesOut, extensionsOut, incallsOut, permissionsOut, devicesOut;
  for (const FakeUser &u : users)
    usersOut.append(QJsonObject{{QStringLiteral("id"), u.id},
                                {QStringLiteral("uuid"), u.uuid},
                                {QStringLiteral("firstname"), u.firstname},
                                {QStringLiteral("lastname"), optText(u.lastname)},
                                {QStringLiteral("email"), optText(u.email)},
                                {QStringLiteral("caller_id"), u.callerId},
                                {QStringLiteral("outgoing_caller_id"), optText(u.outgoingCallerId)},
                                {QStringLiteral("lines"), idArray(u.lineIds)},
                                {QStringLiteral("call_permissions"), idArray(u.permissionIds)}});
  for (const FakeLine &l : lines)
    linesOut.append(QJsonObject{{QStringLiteral("id"), l.id},
                                {QStringLiteral("name"), l.name},
                                {QStringLiteral("context"), l.context},
                                {QStringLiteral("extensions"), idArray(l.extensionIds)}});
  for (const FakeExtension &e : extensions)
    extensionsOut.append(QJsonObject{
        {QStringLiteral("id"), e.id}, {QStringLiteral("exten"), e.exten}, {QStringLiteral("context"), e.context}});
  for (const FakeIncall &i : incalls)
    incallsOut.append(QJsonObject{{QStringLiteral("id"), i.id},
                                  {QStringLiteral("destination"), i.destination},
                                  {QStringLiteral("extensions"), idArray(i.extensionIds)}});
  for (const FakeCallPermission &p : callPermissions)
    permissionsOut.append(QJsonObject{{QStringLiteral("id"), p.id},
                                      {QStringLiteral("name"), p.name},
                                      {QStringLiteral("mode"), p.mode},
                                      {QStringLiteral("extensions"), QJsonArray::fromStringList(p.extensions)},
                                      {QStringLiteral("description"), optText(p.description)}});
  for (const FakeDevice &d : devices)
    devicesOut.append(
        QJsonObject{{QStringLiteral("id"), d.id}, {QStringLiteral("mac"), d.mac}, {QStringLiteral("ip"), d.ip}});
  return {{QStringLiteral("tenant_uuid"), tenantUuid}, {QStringLiteral("users"), usersOut},
          {QStringLiteral("lines"), linesOut},         {QStringLiteral("extensions"), extensionsOut},
          {QStringLiteral("incalls"), incallsOut},     {QStringLiteral("callpermissions"), permissionsOut},
          {QStringLiteral("devices"), devicesOut}};
}

void FakeData::changed() {
  m_linksValid = false;
  m_listCache.clear();
}

void FakeData::buildReverseLinks() const {
  if (m_linksValid)
    return;
  m_lineUser.clear();
  m_extensionLine.clear();
  m_extensionIncall.clear();
  m_userIncalls.clear();
  m_permissionUsers.clear();
  for (const FakeUser &u : users) {
    for (qint64 id : u.lineIds)
      m_lineUser.insert(id, u.id);
    for (qint64 id : u.permissionIds)
      m_permissionUsers[id].append(u.id);
  }
  for (const FakeLine &l : lines)
    for (qint64 id : l.extensionIds)
      m_extensionLine.insert(id, l.id);
  for (const FakeIncall &i : incalls) {
    for (qint64 id : i.extensionIds)
      m_extensionIncall.insert(id, i.id);
    if (i.destination.value(QStringLiteral("type")).toString() == QLatin1String("user"))
      m_userIncalls[static_cast<qint64>(i.destination.value(QStringLiteral("user_id")).toDouble())].append(i.id);
  }
  m_linksValid = true;
}

QJsonObject FakeData::renderExtension(const FakeExtension &e) const {
  buildReverseLinks();
  QJsonArray lineRefs;
  if (m_extensionLine.contains(e.id)) {
    const qint64 lineId = m_extensionLine.value(e.id);
    lineRefs.append(
        QJsonObject{{QStringLiteral("id"), lineId}, {QStringLiteral("links"), links(QStringLiteral("lines"), lineId)}});
  }
  QJsonValue incallRef = QJsonValue::Null;
  if (m_extensionIncall.contains(e.id)) {
    const qint64 incallId = m_extensionIncall.value(e.id);
    incallRef = QJsonObject{{QStringLiteral("id"), incallId},
                            {QStringLiteral("links"), links(QStringLiteral("incalls"), incallId)}};
  }
  return {{QStringLiteral("id"), e.id},
          {QStringLiteral("tenant_uuid"), tenantUuid},
          {QStringLiteral("exten"), e.exten},
          {QStringLiteral("context"), e.context},
          {QStringLiteral("commented"), false},
          {QStringLiteral("enabled"), true},
          {QStringLiteral("links"), links(QStringLiteral("extensions"), e.id)},
          {QStringLiteral("conference"), QJsonValue::Null},
          {QStringLiteral("group"), QJsonValue::Null},
          {QStringLiteral("incall"), incallRef},
          {QStringLiteral("lines"), lineRefs},
          {QStringLiteral("outcall"), QJsonValue::Null},
          {QStringLiteral("parking_lot"), QJsonValue::Null},
          {QStringLiteral("queue"), QJsonValue::Null}};
}

namespace {
QJsonArray extensionRefs(const QMap<qint64, FakeExtension> &extensions, const QList<qint64> &ids) {
  QJsonArray result;
  for (qint64 id : ids) {
    const FakeExtension e = extensions.value(id);
    result.append(QJsonObject{{QStringLiteral("id"), e.id},
                              {QStringLiteral("exten"), e.exten},
                              {QStringLiteral("context"), e.context},
                              {QStringLiteral("links"), links(QStringLiteral("extensions"), e.id)}});
  }
  return result;
}

QJsonObject userRef(const FakeUser &u) {
  return {{QStringLiteral("id"), u.id},
          {QStringLiteral("uuid"), u.uuid},
          {QStringLiteral("firstname"), u.firstname},
          {QStringLiteral("lastname"), optText(u.lastname)},
          {QStringLiteral("links"), links(QStringLiteral("users"), u.id)}};
}

QJsonObject forward() {
  return {{QStringLiteral("enabled"), false}, {QStringLiteral("destination"), QJsonValue::Null}};
}
} // namespace

QJsonObject FakeData::renderUser(const FakeUser &u) const {
  buildReverseLinks();
  QJsonArray permissionRefs;
  for (qint64 id : u.permissionIds)
    permissionRefs.append(QJsonObject{{QStringLiteral("id"), id},
                                      {QStringLiteral("name"), callPermissions.value(id).name},
                                      {QStringLiteral("links"), links(QStringLiteral("callpermissions"), id)}});
  QJsonArray lineItems;
  for (qint64 id : u.lineIds) {
    const FakeLine l = lines.value(id);
    lineItems.append(
        QJsonObject{{QStringLiteral("id"), l.id},
                    {QStringLiteral("name"), l.name},
                    {QStringLiteral("context"), l.context},
                    {QStringLiteral("provisioning_code"), QString::number(100000 + l.id % 900000)},
                    {QStringLiteral("position"), 1},
                    {QStringLiteral("endpoint_sip"),
                     QJsonObject{{QStringLiteral("uuid"), QStringLiteral("%1").arg(l.id, 8, 16, QLatin1Char('0')) +
                                                              QStringLiteral("-5ec7-4e0c-9d1c-3a2b1c0d9e8f")},
                                 {QStringLiteral("label"), l.name},
                                 {QStringLiteral("name"), l.name}}},
                    {QStringLiteral("endpoint_sccp"), QJsonValue::Null},
                    {QStringLiteral("endpoint_custom"), QJsonValue::Null},
                    {QStringLiteral("extensions"), extensionRefs(extensions, l.extensionIds)},
                    {QStringLiteral("links"), links(QStringLiteral("lines"), l.id)}});
  }
  QJsonArray incallRefs;
  for (qint64 id : m_userIncalls.value(u.id))
    incallRefs.append(
        QJsonObject{{QStringLiteral("id"), id},
                    {QStringLiteral("extensions"), extensionRefs(extensions, incalls.value(id).extensionIds)},
                    {QStringLiteral("links"), links(QStringLiteral("incalls"), id)}});
  return {{QStringLiteral("id"), u.id},
          {QStringLiteral("uuid"), u.uuid},
          {QStringLiteral("tenant_uuid"), tenantUuid},
          {QStringLiteral("firstname"), u.firstname},
          {QStringLiteral("lastname"), optText(u.lastname)},
          {QStringLiteral("email"), optText(u.email)},
          {QStringLiteral("timezone"), QJsonValue::Null},
          {QStringLiteral("language"), QJsonValue::Null},
          {QStringLiteral("description"), QJsonValue::Null},
          {QStringLiteral("caller_id"), u.callerId},
          {QStringLiteral("outgoing_caller_id"), optText(u.outgoingCallerId)},
          {QStringLiteral("mobile_phone_number"), QJsonValue::Null},
          {QStringLiteral("username"), QJsonValue::Null},
          {QStringLiteral("password"), QJsonValue::Null},
          {QStringLiteral("music_on_hold"), QJsonValue::Null},
          {QStringLiteral("preprocess_subroutine"), QJsonValue::Null},
          {QStringLiteral("userfield"), QJsonValue::Null},
          {QStringLiteral("call_transfer_enabled"), false},
          {QStringLiteral("dtmf_hangup_enabled"), false},
          {QStringLiteral("call_record_enabled"), false},
          {QStringLiteral("call_record_outgoing_external_enabled"), false},
          {QStringLiteral("call_record_outgoing_internal_enabled"), false},
          {QStringLiteral("call_record_incoming_internal_enabled"), false},
          {QStringLiteral("call_record_incoming_external_enabled"), false},
          {QStringLiteral("online_call_record_enabled"), false},
          {QStringLiteral("supervision_enabled"), true},
          {QStringLiteral("ring_seconds"), 30},
          {QStringLiteral("simultaneous_calls"), 5},
          {QStringLiteral("call_permission_password"), QJsonValue::Null},
          {QStringLiteral("subscription_type"), 0},
          {QStringLiteral("created_at"), QStringLiteral("2024-09-02T08:15:00.000000+00:00")},
          {QStringLiteral("enabled"), true},
          {QStringLiteral("links"), links(QStringLiteral("users"), u.id)},
          {QStringLiteral("agent"), QJsonValue::Null},
          {QStringLiteral("call_permissions"), permissionRefs},
          {QStringLiteral("call_pickup_target_users"), QJsonArray()},
          {QStringLiteral("fallbacks"), QJsonObject{{QStringLiteral("noanswer_destination"), QJsonValue::Null},
                                                    {QStringLiteral("busy_destination"), QJsonValue::Null},
                                                    {QStringLiteral("congestion_destination"), QJsonValue::Null},
                                                    {QStringLiteral("fail_destination"), QJsonValue::Null}}},
          {QStringLiteral("forwards"), QJsonObject{{QStringLiteral("busy"), forward()},
                                                   {QStringLiteral("noanswer"), forward()},
                                                   {QStringLiteral("unconditional"), forward()}}},
          {QStringLiteral("groups"), QJsonArray()},
          {QStringLiteral("incalls"), incallRefs},
          {QStringLiteral("lines"), lineItems},
          {QStringLiteral("queues"), QJsonArray()},
          {QStringLiteral("schedules"), QJsonArray()},
          {QStringLiteral("switchboards"), QJsonArray()},
          {QStringLiteral("voicemail"), QJsonValue::Null},
          {QStringLiteral("func_key_template_id"), QJsonValue::Null}};
}

QJsonObject FakeData::renderLine(const FakeLine &l) const {
  buildReverseLinks();
  QJsonArray userRefs;
  if (m_lineUser.contains(l.id))
    userRefs.append(userRef(users.value(m_lineUser.value(l.id))));
  const QString exten = l.extensionIds.isEmpty() ? QString() : extensions.value(l.extensionIds.first()).exten;
  return {{QStringLiteral("id"), l.id},
          {QStringLiteral("tenant_uuid"), tenantUuid},
          {QStringLiteral("name"), l.name},
          {QStringLiteral("context"), l.context},
          {QStringLiteral("protocol"), QStringLiteral("sip")},
          {QStringLiteral("provisioning_code"), QString::number(100000 + l.id % 900000)},
          {QStringLiteral("provisioning_extension"), QString::number(100000 + l.id % 900000)},
          {QStringLiteral("position"), 1},
          {QStringLiteral("device_slot"), 1},
          {QStringLiteral("device_id"), QJsonValue::Null},
          {QStringLiteral("registrar"), QStringLiteral("default")},
          {QStringLiteral("caller_id_name"), QJsonValue::Null},
          {QStringLiteral("caller_id_num"), exten.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(exten)},
          {QStringLiteral("links"), links(QStringLiteral("lines"), l.id)},
          {QStringLiteral("endpoint_sip"),
           QJsonObject{{QStringLiteral("label"), l.name}, {QStringLiteral("name"), l.name}}},
          {QStringLiteral("endpoint_sccp"), QJsonValue::Null},
          {QStringLiteral("endpoint_custom"), QJsonValue::Null},
          {QStringLiteral("application"), QJsonValue::Null},
          {QStringLiteral("extensions"), extensionRefs(extensions, l.extensionIds)},
          {QStringLiteral("users"), userRefs}};
}

QJsonObject FakeData::renderIncall(const FakeIncall &i) const {
  QJsonObject destination = i.destination;
  if (destination.value(QStringLiteral("type")).toString() == QLatin1String("user")) {
    const auto userId = static_cast<qint64>(destination.value(QStringLiteral("user_id")).toDouble());
    const FakeUser u = users.value(userId);
    destination.insert(QStringLiteral("user_firstname"), u.firstname);
    destination.insert(QStringLiteral("user_lastname"), optText(u.lastname));
    if (!destination.contains(QStringLiteral("ring_time")))
      destination.insert(QStringLiteral("ring_time"), QJsonValue::Null);
  }
  return {{QStringLiteral("id"), i.id},
          {QStringLiteral("tenant_uuid"), tenantUuid},
          {QStringLiteral("preprocess_subroutine"), QJsonValue::Null},
          {QStringLiteral("greeting_sound"), QJsonValue::Null},
          {QStringLiteral("caller_id_mode"), QJsonValue::Null},
          {QStringLiteral("caller_id_name"), QJsonValue::Null},
          {QStringLiteral("description"), QJsonValue::Null},
          {QStringLiteral("destination"), destination},
          {QStringLiteral("extensions"), extensionRefs(extensions, i.extensionIds)},
          {QStringLiteral("schedules"), QJsonArray()},
          {QStringLiteral("links"), links(QStringLiteral("incalls"), i.id)}};
}

QJsonObject FakeData::renderCallPermission(const FakeCallPermission &p) const {
  buildReverseLinks();
  QJsonArray userRefs;
  for (qint64 id : m_permissionUsers.value(p.id))
    userRefs.append(userRef(users.value(id)));
  return {{QStringLiteral("id"), p.id},
          {QStringLiteral("tenant_uuid"), tenantUuid},
          {QStringLiteral("name"), p.name},
          {QStringLiteral("password"), QJsonValue::Null},
          {QStringLiteral("mode"), p.mode},
          {QStringLiteral("extensions"), QJsonArray::fromStringList(p.extensions)},
          {QStringLiteral("enabled"), true},
          {QStringLiteral("description"), optText(p.description)},
          {QStringLiteral("links"), links(QStringLiteral("callpermissions"), p.id)},
          {QStringLiteral("groups"), QJsonArray()},
          {QStringLiteral("outcalls"), QJsonArray()},
          {QStringLiteral("users"), userRefs}};
}

QJsonObject FakeData::renderDevice(const FakeDevice &d) const {
  return {{QStringLiteral("id"), d.id},
          {QStringLiteral("tenant_uuid"), tenantUuid},
          {QStringLiteral("ip"), d.ip},
          {QStringLiteral("mac"), d.mac},
          {QStringLiteral("sn"), QJsonValue::Null},
          {QStringLiteral("plugin"), QStringLiteral("wazo-yealink-v86")},
          {QStringLiteral("vendor"), QStringLiteral("Yealink")},
          {QStringLiteral("model"), QStringLiteral("T54W")},
          {QStringLiteral("version"), QStringLiteral("96.86.0.70")},
          {QStringLiteral("description"), QJsonValue::Null},
          {QStringLiteral("status"), QStringLiteral("not_configured")},
          {QStringLiteral("template_id"), QJsonValue::Null},
          {QStringLiteral("options"), QJsonValue::Null},
          {QStringLiteral("is_new"), true},
          {QStringLiteral("links"), links(QStringLiteral("devices"), d.id)}};
}

QList<QJsonObject> FakeData::renderAll(List list) const {
  QList<QJsonObject> items;
  switch (list) {
  case List::Users:
    for (const FakeUser &u : users)
      items.append(renderUser(u));
    break;
  case List::Lines:
    for (const FakeLine &l : lines)
      items.append(renderLine(l));
    break;
  case List::Extensions:
    for (const FakeExtension &e : extensions)
      items.append(renderExtension(e));
    break;
  case List::Incalls:
    for (const FakeIncall &i : incalls)
      items.append(renderIncall(i));
    break;
  case List::CallPermissions:
    for (const FakeCallPermission &p : callPermissions)
      items.append(renderCallPermission(p));
    break;
  case List::UnallocatedDevices:
    for (const FakeDevice &d : devices)
      items.append(renderDevice(d));
    break;
  }
  return items;
}

QByteArray FakeData::listBody(List list, const QUrlQuery &query) {
  bool limitOk = false, offsetOk = false;
  const int limit = query.queryItemValue(QStringLiteral("limit")).toInt(&limitOk);
  const int offset = query.queryItemValue(QStringLiteral("offset")).toInt(&offsetOk);
  const bool paged = (limitOk && limit >= 0) || (offsetOk && offset > 0);
  if (!paged && m_listCache.contains(int(list)))
    return m_listCache.value(int(list));

  const QList<QJsonObject> all = renderAll(list);
  QJsonArray items;
  const int from = offsetOk ? qMax(0, offset) : 0;
  const int to = (limitOk && limit >= 0) ? qMin<qsizetype>(all.size(), qsizetype(from) + limit) : all.size();
  for (int k = from; k < to; ++k)
    items.append(all.at(k));
  const QByteArray body = compact(QJsonObject{{QStringLiteral("total"), all.size()}, {QStringLiteral("items"), items}});
  if (!paged)
    m_listCache.insert(int(list), body);
  return body;
}

FakeReply FakeData::item(List list, qint64 id) {
  switch (list) {
  case List::Users:
    if (users.contains(id))
      return {200, compact(renderUser(users.value(id)))};
    return notFound(QStringLiteral("User"), id);
  case List::Lines:
    if (lines.contains(id))
      return {200, compact(renderLine(lines.value(id)))};
    return notFound(QStringLiteral("Line"), id);
  case List::Extensions:
    if (extensions.contains(id))
      return {200, compact(renderExtension(extensions.value(id)))};
    return notFound(QStringLiteral("Extension"), id);
  case List::Incalls:
    if (incalls.contains(id))
      return {200, compact(renderIncall(incalls.value(id)))};
    return notFound(QStringLiteral("Incall"), id);
  case List::CallPermissions:
    if (callPermissions.contains(id))
      return {200, compact(renderCallPermission(callPermissions.value(id)))};
    return notFound(QStringLiteral("CallPermission"), id);
  case List::UnallocatedDevices:
    break;
  }
  return notFound(QStringLiteral("Device"), id);
}

FakeReply FakeData::putUser(qint64 id, const QByteArray &body) {
  if (!users.contains(id))
    return notFound(QStringLiteral("User"), id);
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
  if (parseError.error != QJsonParseError::NoError || !doc.isObject())
    return {400, errorArray(QStringLiteral("Input Error - Invalid JSON body"))};
  const QJsonObject in = doc.object();

  QStringList errors;
  auto text = [&](const QString &field, bool nullable, int maxLength) {
    if (!in.contains(field))
      return;
    const QJsonValue v = in.value(field);
    if (v.isNull()) {
      if (!nullable)
        errors << fieldError(field, QStringLiteral("Field may not be null."));
    } else if (!v.isString()) {
      errors << fieldError(field, QStringLiteral("Not a valid string."));
    } else if (v.toString().size() > maxLength) {
      errors << fieldError(field, QStringLiteral("Longer than maximum length %1.").arg(maxLength));
    }
  };
  text(QStringLiteral("firstname"), false, 128);
  text(QStringLiteral("lastname"), true, 128);
  text(QStringLiteral("email"), true, 254);
  text(QStringLiteral("caller_id"), false, 160);
  text(QStringLiteral("outgoing_caller_id"), true, 80);
  const QJsonValue email = in.value(QStringLiteral("email"));
  if (email.isString() && !emailPattern().match(email.toString()).hasMatch())
    errors << fieldError(QStringLiteral("email"), QStringLiteral("Not a valid email address."));
  const QJsonValue callerId = in.value(QStringLiteral("caller_id"));
  if (callerId.isString() && !callerIdPattern().match(callerId.toString()).hasMatch())
    errors << fieldError(QStringLiteral("caller_id"), QStringLiteral("String does not match expected pattern."));
  if (!errors.isEmpty())
    return {400, QJsonDocument(QJsonArray::fromStringList(errors)).toJson(QJsonDocument::Compact)};

  // Empty texts come back as null, as the real service stores them.
  auto optional = [&](const QString &field) -> std::optional<QString> {
    const QJsonValue v = in.value(field);
    if (v.isNull() || v.toString().isEmpty())
      return std::nullopt;
    return v.toString();
  };
  FakeUser &u = users[id];
  if (in.contains(QStringLiteral("firstname")))
    u.firstname = in.value(QStringLiteral("firstname")).toString();
  if (in.contains(QStringLiteral("lastname")))
    u.lastname = optional(QStringLiteral("lastname"));
  if (in.contains(QStringLiteral("email")))
    u.email = optional(QStringLiteral("email"));
  if (in.contains(QStringLiteral("caller_id")))
    u.callerId = callerId.toString();
  if (in.contains(QStringLiteral("outgoing_caller_id")))
    u.outgoingCallerId = optional(QStringLiteral("outgoing_caller_id"));
  changed();
  return {204, {}};
}

FakeReply FakeData::putIncall(qint64 id, const QByteArray &body) {
  if (!incalls.contains(id))
    return notFound(QStringLiteral("Incall"), id);
  QJsonParseError parseError;
  const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
  if (parseError.error != QJsonParseError::NoError || !doc.isObject())
    return {400, errorArray(QStringLiteral("Input Error - Invalid JSON body"))};
  const QJsonObject in = doc.object();
  if (!in.contains(QStringLiteral("destination")))
    return {204, {}};

  const QString field = QStringLiteral("destination");
  const QJsonValue value = in.value(field);
  if (!value.isObject())
    return {400, errorArray(fieldError(field, QStringLiteral("Field may not be null.")))};
  const QJsonObject destination = value.toObject();
  const QString type = destination.value(QStringLiteral("type")).toString();
  QJsonObject stored;
  if (type == QLatin1String("none")) {
    stored = QJsonObject{{QStringLiteral("type"), type}};
  } else if (type == QLatin1String("user")) {
    const auto userId = integerOf(destination.value(QStringLiteral("user_id")));
    if (!userId)
      return {400, errorArray(fieldError(field, QStringLiteral("{'user_id': ['Missing data for required field.']}")))};
    if (!users.contains(*userId))
      return {400, errorArray(QStringLiteral("Input Error - User was not found ('id': %1)").arg(*userId))};
    stored = QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("user_id"), *userId}};
    const QJsonValue ringTime = destination.value(QStringLiteral("ring_time"));
    stored.insert(QStringLiteral("ring_time"), ringTime.isDouble() ? ringTime : QJsonValue(QJsonValue::Null));
  } else if (type == QLatin1String("group")) {
    if (!integerOf(destination.value(QStringLiteral("group_id"))))
      return {400, errorArray(fieldError(field, QStringLiteral("{'group_id': ['Missing data for required field.']}")))};
    stored = destination;
  } else if (type == QLatin1String("hangup") || type == QLatin1String("voicemail") || type == QLatin1String("queue") ||
             type == QLatin1String("ivr") || type == QLatin1String("application") ||
             type == QLatin1String("conference") || type == QLatin1String("custom") ||
             type == QLatin1String("extension") || type == QLatin1String("sound") ||
             type == QLatin1String("switchboard")) {
    stored = destination;
  } else {
    return {400,
            errorArray(fieldError(
                field, type.isEmpty() ? QStringLiteral("{'type': ['Missing data for required field.']}")
                                      : QStringLiteral("{'type': ['Must be one of the known destination types.']}")))};
  }
  incalls[id].destination = stored;
  changed();
  return {204, {}};
}

FakeReply FakeData::linkCallPermission(qint64 userId, qint64 permissionId, bool link) {
  if (!users.contains(userId))
    return notFound(QStringLiteral("User"), userId);
  if (!callPermissions.contains(permissionId))
    return notFound(QStringLiteral("CallPermission"), permissionId);
  QList<qint64> &ids = users[userId].permissionIds;
  if (link && !ids.contains(permissionId))
    ids.append(permissionId);
  else if (!link)
    ids.removeAll(permissionId);
  changed();
  return {204, {}};
}
