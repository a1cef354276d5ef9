#pragma once
// Synthetic list bodies shaped like the exchange's answers, for the
// benchmarks that need no network.

#include <QString>

namespace benchdata {

// GET /users body with `users` users: ids 1..users, each with one line and
// extension, one call permission, names drawn from a fixed list.
QString usersBody(int users);
// GET /incalls body with one incoming call routed to each of the users
// 1..users, in reverse order so that the join cannot ride on the order.
QString incallsBody(int users);

} // namespace benchdata
