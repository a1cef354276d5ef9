#pragma once
// How the list loaders read the exchange's JSON: an absent member and a null
// one are alike when read as text; a number reads as its decimal form, true
// and false as "true" and "false"; an absent array reads as empty; null or
// another kind where an array, an object or a text is read throws
// LarkspanError.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <optional>

namespace jsonread {

// A list body: std::nullopt when the text is empty or only white space (no
// document); throws when it is not JSON or its top level is not an object.
std::optional<QJsonObject> parseBody(const QString &text);

// Absent or null member: false.
bool present(const QJsonObject &object, QLatin1String key);
QString text(const QJsonObject &object, QLatin1String key);
QString text(const QJsonValue &value, QLatin1String what);
QJsonArray array(const QJsonObject &object, QLatin1String key);
QJsonObject object(const QJsonValue &value, QLatin1String what);

} // namespace jsonread
