#pragma once
// The exchange's lists in memory: the reference maps (call permissions,
// incoming calls, extensions), the user table, and the user update that
// writes one user's changes back.
//
// The loaders do no I/O: they take the body text of one list request. A
// body that is not JSON, or whose top level is not an object, throws
// LarkspanError before anything is touched; an empty or blank body is "no
// document".

#include "MemTable.h"
#include "traces.h"

#include <QHash>
#include <QString>

// One call permission.
struct TPerm {
  QString id;
  QString name;
};

// One incoming call.
struct TDid {
  QString id;
  QString user_id;
  QString user_firstname;
  QString user_lastname;
  QString extension_id;
  QString extension_exten; // the DID number
  QString compl_number;
};

// One extension that belongs to a line.
struct TExt {
  QString id;
  QString exten;
  QString line_id;
};

// Keys compared exactly; no order.
using TPermMap = QHash<QString, TPerm>; // by permission name
using TDidMap = QHash<QString, TDid>;   // by DID number
using TExtMap = QHash<QString, TExt>;   // by extension number

// Program-wide; created by CreateUserTable, released by FreeDirectory.
extern TPermMap *PermMap;
extern TDidMap *DidMap;
extern TExtMap *ExtMap;

// Fills PermMap. No document: PermMap keeps its contents. A permission
// without id or name is skipped; a duplicate name throws LarkspanError with
// the permissions before it kept; so does an item that cannot be read.
void LoadPermissions(const QString &Text);
// Fills DidMap (emptied also for no document). An incoming call without a
// number is skipped and a number already present keeps its first entry; an
// item that cannot be read quietly ends the pass, keeping what was read.
void LoadIncalls(const QString &Text);
// Fills ExtMap with the extensions that belong to a line, same rules as
// LoadIncalls.
void LoadExtensions(const QString &Text);

// One user as the grid hands it to the user dialog and to UpdateUser.
struct TUser {
  QString id;
  QString firstname;
  QString lastname;
  QString uuid;
  QString email;
  QString call_permissions;
  QString extensions;
  QString did;
};

// The users, one row each, joined with DidMap. Ten text fields; sort
// "extensions"; case-insensitive filter.
extern TMemTable *UserTable;

// Creates the three maps (empty) and UserTable (empty, with its fields and
// settings). Errors while building the table become the trace line
// "Erreur N°:" + message.
void CreateUserTable();
// Replaces the rows of UserTable with the users of a users list body; reads
// DidMap. No document: rows kept. A user that cannot be read ends the load
// with one trace line; the users before it stay.
void LoadUsers(const QString &Text);
// Releases UserTable, DidMap, PermMap and ExtMap, in this order.
void FreeDirectory();

// Sends the differences between the listed and the edited user (names,
// e-mail, call permission, DID) with one token. Result: -1 when something
// was sent, (0, "") when nothing differed, the token failure otherwise.
void UpdateUser(const TUser &listed, const TUser &edited, TResExtract &Result);
// Escapes text for use between the double quotes of a JSON string, one
// UTF-16 code unit at a time; everything outside 32..126 becomes \uXXXX
// (upper-case hex) unless it has a short escape.
QString JsonEscape(const QString &text);
