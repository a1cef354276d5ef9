#include "JsonReading.h"

#include "LarkspanError.h"

#include <QJsonDocument>
#include <QLocale>
#include <limits>

namespace jsonread {

namespace {

QString kindName(const QJsonValue &v) {
  switch (v.type()) {
  case QJsonValue::Null:
    return QStringLiteral("null");
  case QJsonValue::Bool:
    return QStringLiteral("a boolean");
  case QJsonValue::Double:
    return QStringLiteral("a number");
  case QJsonValue::String:
    return QStringLiteral("a string");
  case QJsonValue::Array:
    return QStringLiteral("an array");
  case QJsonValue::Object:
    return QStringLiteral("an object");
  case QJsonValue::Undefined:
    break;
  }
  return QStringLiteral("nothing");
}

bool blank(const QString &text) {
  for (QChar c : text)
    if (!c.isSpace())
      return false;
  return true;
}

} // namespace

std::optional<QJsonObject> parseBody(const QString &text) {
  if (blank(text))
    return std::nullopt;
  QJsonParseError err;
  const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &err);
  if (err.error != QJsonParseError::NoError)
    throw LarkspanError(
        QStringLiteral("Invalid JSON at offset %1: %2").arg(err.offset).arg(err.errorString()));
  if (!doc.isObject())
    throw LarkspanError(QStringLiteral("JSON object expected at top level"));
  return doc.object();
}

bool present(const QJsonObject &object, QLatin1String key) {
  const QJsonValue v = object.value(key);
  return !v.isUndefined() && !v.isNull();
}

QString text(const QJsonValue &v, QLatin1String what) {
  switch (v.type()) {
  case QJsonValue::Undefined:
  case QJsonValue::Null:
    return QString();
  case QJsonValue::String:
    return v.toString();
  case QJsonValue::Bool:
    return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
  case QJsonValue::Double: {
    constexpr qint64 none = std::numeric_limits<qint64>::min();
    const qint64 i = v.toInteger(none);
    if (i != none)
      return QString::number(i);
    return QString::number(v.toDouble(), 'g', QLocale::FloatingPointShortest);
  }
  case QJsonValue::Array:
  case QJsonValue::Object:
    break;
  }
  throw LarkspanError(QStringLiteral("\"%1\" holds %2, not a text").arg(what, kindName(v)));
}

QString text(const QJsonObject &object, QLatin1String key) {
  return text(object.value(key), key);
}

QJsonArray array(const QJsonObject &object, QLatin1String key) {
  const QJsonValue v = object.value(key);
  if (v.isUndefined())
    return QJsonArray();
  if (!v.isArray())
    throw LarkspanError(QStringLiteral("\"%1\" holds %2, not an array").arg(key, kindName(v)));
  return v.toArray();
}

QJsonObject object(const QJsonValue &v, QLatin1String what) {
  if (!v.isObject())
    throw LarkspanError(QStringLiteral("%1 is %2, not an object").arg(what, kindName(v)));
  return v.toObject();
}

} // namespace jsonread
