// Writing one user's changes back to the exchange.

#include "APIWazoData.h"
#include "APIWazoHttp.h"
#include "LarkspanError.h"

namespace {

const QString kUsersPath = QStringLiteral("/api/confd/1.1/users/");
const QString kIncallsPath = QStringLiteral("/api/confd/1.1/incalls/");
const QString kPut = QStringLiteral("PUT");
const QString kDelete = QStringLiteral("DELETE");

QString messageOf(const std::exception &e) {
  if (auto *le = dynamic_cast<const LarkspanError *>(&e))
    return le->message();
  return QString::fromUtf8(e.what());
}

// The id goes unquoted into JSON bodies and into paths: only a plain
// decimal number may go there.
bool isDecimalId(const QString &id) {
  if (id.isEmpty())
    return false;
  for (QChar c : id)
    if (c < u'0' || c > u'9')
      return false;
  return true;
}

} // namespace

QString JsonEscape(const QString &text) {
  static const char hex[] = "0123456789ABCDEF";
  QString out;
  out.reserve(text.size() + 8);
  for (QChar c : text) {
    const char16_t u = c.unicode();
    switch (u) {
    case 8:
      out += QLatin1String("\\b");
      break;
    case 9:
      out += QLatin1String("\\t");
      break;
    case 10:
      out += QLatin1String("\\n");
      break;
    case 12:
      out += QLatin1String("\\f");
      break;
    case 13:
      out += QLatin1String("\\r");
      break;
    case u'"':
      out += QLatin1String("\\\"");
      break;
    case u'/':
      out += QLatin1String("\\/");
      break;
    case u'\\':
      out += QLatin1String("\\\\");
      break;
    default:
      if (u < 32 || u > 126) {
        out += QLatin1String("\\u");
        out += QLatin1Char(hex[(u >> 12) & 0xF]);
        out += QLatin1Char(hex[(u >> 8) & 0xF]);
        out += QLatin1Char(hex[(u >> 4) & 0xF]);
        out += QLatin1Char(hex[u & 0xF]);
      } else {
        out += c;
      }
    }
  }
  return out;
}

void UpdateUser(const TUser &listed, const TUser &edited, TResExtract &Result) {
  Result.iRes = 0;
  QString token;
  QString body;
  TResExtract work;

  const bool nameChanged =
      edited.firstname != listed.firstname || edited.lastname != listed.lastname;
  const bool emailChanged = edited.email != listed.email;
  const bool permChanged = edited.call_permissions != listed.call_permissions;
  const bool didChanged = edited.did != listed.did;

  if ((nameChanged || emailChanged || permChanged || didChanged)
      && (!isDecimalId(listed.id) || !isDecimalId(edited.id))) {
    const QString why = QStringLiteral("user id is not a decimal number: \"%1\"")
                            .arg(isDecimalId(listed.id) ? edited.id : listed.id);
    TraceLine(QStringLiteral("Erreur Modif user:  , N°:") + why);
    Result.iRes = 364;
    Result.sRes = why;
    return;
  }

  // Later groups reuse the token of an earlier one; only while none was
  // obtained do they ask again.
  auto haveToken = [&]() {
    if (token.isEmpty())
      GetToken(*PortConfig, token, work);
    else
      work.iRes = 0;
    return work.iRes == 0;
  };

  bool sent = false;
  try {
    if (!PortConfig && (nameChanged || emailChanged || permChanged || didChanged))
      throw LarkspanError(QStringLiteral("no connection description"));

    if (nameChanged) {
      body += QLatin1String(", \"firstname\": \"") + JsonEscape(edited.firstname) + u'"';
      body += QLatin1String(", \"lastname\": \"") + JsonEscape(edited.lastname) + u'"';
      const QString callerId = u'"' + edited.firstname + u' ' + edited.lastname + u'"';
      body += QLatin1String(", \"caller_id\": \"") + JsonEscape(callerId) + u'"';
    }
    if (emailChanged) {
      // The exchange refuses "" as an address; null is how it is cleared.
      if (edited.email.isEmpty())
        body += QLatin1String(", \"email\": null");
      else
        body += QLatin1String(", \"email\": \"") + JsonEscape(edited.email) + u'"';
    }

    bool tokenRefused = false;
    if (!body.isEmpty()) {
      GetToken(*PortConfig, token, work);
      if (work.iRes != 0) {
        tokenRefused = true;
      } else {
        body = QLatin1String("{\"id\": ") + listed.id + body + u'}';
        RestSend(*PortConfig, token, kUsersPath + listed.id, body, kPut, work);
        sent = true;
      }
    }

    if (!tokenRefused && permChanged && haveToken()) {
      if (!listed.call_permissions.isEmpty() && PermMap) {
        auto it = PermMap->constFind(listed.call_permissions);
        if (it != PermMap->constEnd())
          RestSend(*PortConfig, token,
                   kUsersPath + listed.id + QLatin1String("/callpermissions/") + it->id, QString(),
                   kDelete, work);
      }
      if (!edited.call_permissions.isEmpty() && PermMap) {
        auto it = PermMap->constFind(edited.call_permissions);
        if (it != PermMap->constEnd())
          RestSend(*PortConfig, token,
                   kUsersPath + edited.id + QLatin1String("/callpermissions/") + it->id, QString(),
                   kPut, work);
      }
      sent = true;
    }

    // An empty DID stands for "no DID": it is never looked up, so an
    // incoming call stored under the empty number is left alone.
    if (!tokenRefused && didChanged && haveToken()) {
      if (!listed.did.isEmpty() && DidMap) {
        auto it = DidMap->constFind(listed.did);
        if (it != DidMap->constEnd())
          RestSend(*PortConfig, token, kIncallsPath + it->id,
                   QStringLiteral("{\"destination\": {\"type\": \"none\"}}"), kPut, work);
      }
      if (!edited.did.isEmpty() && DidMap) {
        auto it = DidMap->constFind(edited.did);
        if (it != DidMap->constEnd())
          RestSend(*PortConfig, token, kIncallsPath + it->id,
                   QLatin1String("{\"destination\": {\"type\": \"user\", \"user_id\": ") + edited.id
                       + QLatin1String("}}"),
                   kPut, work);
      }
      sent = true;
    }

    if (sent)
      Result.iRes = -1;
  } catch (const std::exception &e) {
    TraceLine(QStringLiteral("Erreur Modif user:  , N°:") + messageOf(e));
  }

  if (Result.iRes != -1)
    Result = work;
}
