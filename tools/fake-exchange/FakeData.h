#pragma once
// The fake exchange's configuration data: users, lines, extensions, incoming
// calls, call permissions and unallocated devices, held normalised and
// rendered on demand in the shapes the configuration service answers with.
//
// Dataset file (JSON object; every member optional):
//   "tenant_uuid": "...",
//   "users": [{"id": 1, "uuid": "...", "firstname": "Zoé", "lastname": null,
//              "email": null, "caller_id": "\"Zoé\"", "outgoing_caller_id": null,
//              "lines": [101], "call_permissions": [2]}],
//   "lines": [{"id": 101, "name": "abc", "context": "default", "extensions": [1001]}],
//   "extensions": [{"id": 1001, "exten": "1001", "context": "default"}],
//   "incalls": [{"id": 1, "destination": {"type": "user", "user_id": 1},
//                "extensions": [5001]}],
//   "callpermissions": [{"id": 2, "name": "Interne", "mode": "deny",
//                        "extensions": ["_0XXX"]}],
//   "devices": [{"id": "8f0e...", "mac": "00:11:22:33:44:55", "ip": "10.0.0.9"}]
// Links are held on one side only (user -> lines, line -> extensions,
// incall -> extensions, user -> permissions); the reverse members of the
// rendered items are derived.

#include <optional>
#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrlQuery>

struct FakeUser {
  qint64 id = 0;
  QString uuid;
  QString firstname;
  std::optional<QString> lastname;
  std::optional<QString> email;
  QString callerId;
  std::optional<QString> outgoingCallerId;
  QList<qint64> lineIds;
  QList<qint64> permissionIds;
};

struct FakeLine {
  qint64 id = 0;
  QString name;
  QString context = QStringLiteral("default");
  QList<qint64> extensionIds;
};

struct FakeExtension {
  qint64 id = 0;
  QString exten;
  QString context = QStringLiteral("default");
};

struct FakeIncall {
  qint64 id = 0;
  QJsonObject destination; // {"type": "none"} / {"type": "user", "user_id": N, ...}
  QList<qint64> extensionIds;
};

struct FakeCallPermission {
  qint64 id = 0;
  QString name;
  QString mode = QStringLiteral("deny");
  QStringList extensions;
  std::optional<QString> description;
};

struct FakeDevice {
  QString id;
  QString mac;
  QString ip;
};

// An answer of the configuration service: status, and a JSON body unless
// the status is 204.
struct FakeReply {
  int status = 200;
  QByteArray body;
};

class FakeData {
public:
  enum class List { Users, Lines, Extensions, Incalls, CallPermissions, UnallocatedDevices };

  // Deterministic: the same count always gives the same data.
  static FakeData generate(int userCount);
  // From a dataset file's object; `error` explains a refusal.
  static std::optional<FakeData> fromJson(const QJsonObject &dataset, QString *error);
  QJsonObject toJson() const;

  // {"total": N, "items": [...]} with "limit" and "offset" honoured.
  QByteArray listBody(List list, const QUrlQuery &query);
  FakeReply item(List list, qint64 id);

  // Partial updates, validated like the real service.
  FakeReply putUser(qint64 id, const QByteArray &body);
  FakeReply putIncall(qint64 id, const QByteArray &body);
  FakeReply linkCallPermission(qint64 userId, qint64 permissionId, bool link);

  QString tenantUuid;
  QMap<qint64, FakeUser> users;
  QMap<qint64, FakeLine> lines;
  QMap<qint64, FakeExtension> extensions;
  QMap<qint64, FakeIncall> incalls;
  QMap<qint64, FakeCallPermission> callPermissions;
  QList<FakeDevice> devices;

private:
  QJsonObject renderUser(const FakeUser &user) const;
  QJsonObject renderLine(const FakeLine &line) const;
  QJsonObject renderExtension(const FakeExtension &extension) const;
  QJsonObject renderIncall(const FakeIncall &incall) const;
  QJsonObject renderCallPermission(const FakeCallPermission &permission) const;
  QJsonObject renderDevice(const FakeDevice &device) const;
  QList<QJsonObject> renderAll(List list) const;
  void buildReverseLinks() const;
  void changed();

  // Reverse links, rebuilt lazily after a change.
  mutable bool m_linksValid = false;
  mutable QMap<qint64, qint64> m_lineUser;           // line -> user
  mutable QMap<qint64, qint64> m_extensionLine;      // extension -> line
  mutable QMap<qint64, qint64> m_extensionIncall;    // extension -> incall
  mutable QMap<qint64, QList<qint64>> m_userIncalls; // user -> incalls routed to it
  mutable QMap<qint64, QList<qint64>> m_permissionUsers;
  // Whole-list bodies without paging, dropped on every change.
  QMap<int, QByteArray> m_listCache;
};

QByteArray errorArray(const QString &message);
