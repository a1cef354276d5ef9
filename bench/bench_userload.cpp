// LoadUsers with its join on the incoming calls: the time per user must not
// grow with the number of users.

#include "APIWazoData.h"
#include "BenchData.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <benchmark/benchmark.h>

static void BM_LoadUsers(benchmark::State &state) {
  const int users = int(state.range(0));
  const QString usersBody = benchdata::usersBody(users);
  CreateUserTable();
  LoadIncalls(benchdata::incallsBody(users));
  // The sort into "extensions" order is done when the grid first walks
  // the rows; bench_memtable measures it.
  for (auto _ : state)
    LoadUsers(usersBody);
  if (UserTable->rowCount() != users || UserTable->value(0, UserTable->fieldIndex("did")).isEmpty())
    state.SkipWithError("users not loaded or not joined");
  state.SetItemsProcessed(state.iterations() * users);
  // Seconds per user ("u" is microseconds).
  state.counters["per_user"] = benchmark::Counter(
      users, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  FreeDirectory();
}
BENCHMARK(BM_LoadUsers)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

// The same body through the JSON reader alone: what the load costs on top.
static void BM_ParseUsersBodyOnly(benchmark::State &state) {
  const int users = int(state.range(0));
  const QString usersBody = benchdata::usersBody(users);
  for (auto _ : state) {
    const QJsonDocument doc = QJsonDocument::fromJson(usersBody.toUtf8());
    benchmark::DoNotOptimize(doc.object().size());
  }
  state.SetItemsProcessed(state.iterations() * users);
  state.counters["per_user"] = benchmark::Counter(
      users, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ParseUsersBodyOnly)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
