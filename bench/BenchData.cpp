#include "BenchData.h"

#include <QStringList>

namespace benchdata {

namespace {

const char *const kFirst[] = {"John", "Jane", "Joanna", "Émile", "Marc", "Alice",
                              "Bob",  "Zoé",  "Jo",     "Karim", "Lena", "Olga"};
const char *const kLast[] = {"Smith", "Johnson", "Durand", "Martin", "O'Brien", "Watson",
                             "Nguyen", "Müller", "Rossi",  "Dupont", "Garcia", "Stone"};

QString name(const char *const *list, int count, int i) {
  return QString::fromUtf8(list[(i * 7 + i / count) % count]);
}

} // namespace

QString usersBody(int users) {
  QString out;
  out.reserve(users * 520);
  out += QStringLiteral("{\"total\": %1, \"items\": [").arg(users);
  for (int i = 1; i <= users; ++i) {
    const QString first = name(kFirst, 12, i);
    const QString last = name(kLast, 12, i + 5) + QString::number(i % 97);
    if (i > 1)
      out += u',';
    out += QStringLiteral(
               "{\"id\": %1, \"uuid\": \"%2\", \"tenant_uuid\": "
               "\"8f4b3c1e-0d7a-4e52-9a57-3c0e3c5d2b11\", \"firstname\": \"%3\", "
               "\"lastname\": \"%4\", \"email\": \"user%1@example.com\", \"timezone\": null, "
               "\"language\": \"fr_FR\", \"caller_id\": \"\\\"%3 %4\\\"\", "
               "\"outgoing_caller_id\": null, \"enabled\": true, \"lines\": [{\"id\": %1, "
               "\"name\": \"line%1\", \"endpoint_sip\": {\"id\": \"e%1\"}, \"extensions\": "
               "[{\"id\": %1, \"exten\": \"%5\", \"context\": \"default\"}]}], "
               "\"call_permissions\": [{\"id\": %6, \"name\": \"Perm%6\"}], \"groups\": []}")
               .arg(i)
               .arg(QStringLiteral("00000000-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0')))
               .arg(first, last)
               .arg(10000 + i)
               .arg(i % 5);
  }
  out += QStringLiteral("]}");
  return out;
}

QString incallsBody(int users) {
  QString out;
  out.reserve(users * 260);
  out += QStringLiteral("{\"total\": %1, \"items\": [").arg(users);
  for (int i = users; i >= 1; --i) {
    if (i < users)
      out += u',';
    out += QStringLiteral("{\"id\": %1, \"destination\": {\"type\": \"user\", \"user_id\": %1, "
                          "\"user_firstname\": \"F\", \"user_lastname\": \"L\", "
                          "\"ring_time\": null}, \"extensions\": [{\"id\": %2, \"exten\": "
                          "\"0%3\", \"context\": \"from-extern\"}]}")
               .arg(i)
               .arg(100000 + i)
               .arg(123000000 + i);
  }
  out += QStringLiteral("]}");
  return out;
}

} // namespace benchdata
