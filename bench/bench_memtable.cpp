// The user table at 20,000 rows: a filter change and a sort, each followed
// by the walk the grid makes (visibleRows).

#include "APIWazoData.h"
#include "BenchData.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 20000;

void fill() {
  CreateUserTable();
  LoadIncalls(benchdata::incallsBody(kRows));
  LoadUsers(benchdata::usersBody(kRows));
  UserTable->visibleRows();
}

} // namespace

// Keystrokes in the filter bar: each one sets a new expression.
static void BM_FilterChange(benchmark::State &state) {
  fill();
  const QString expressions[] = {
      QStringLiteral("firstname LIKE 'j%'"),
      QStringLiteral("firstname LIKE 'jo%'"),
      QStringLiteral("firstname LIKE 'jo%'AND lastname LIKE '%son%'"),
      QStringLiteral("lastname LIKE '%o%e%'AND extensions LIKE '1%5%'"),
  };
  UserTable->setFiltered(true);
  size_t i = 0;
  qsizetype shown = 0;
  for (auto _ : state) {
    UserTable->setFilter(expressions[i++ % 4]);
    shown += UserTable->visibleRows().size();
  }
  benchmark::DoNotOptimize(shown);
  state.SetItemsProcessed(state.iterations() * kRows);
  FreeDirectory();
}
BENCHMARK(BM_FilterChange)->Unit(benchmark::kMillisecond);

// Header clicks: ascending and descending in turn, on a text column and on
// the extensions.
static void BM_Sort(benchmark::State &state) {
  fill();
  const QString field = state.range(0) == 0 ? QStringLiteral("lastname") : QStringLiteral("extensions");
  bool down = false;
  for (auto _ : state) {
    UserTable->setIndexFieldNames(down ? field + QStringLiteral(":D") : field);
    down = !down;
    benchmark::DoNotOptimize(UserTable->visibleRows().size());
  }
  state.SetLabel(field.toStdString());
  state.SetItemsProcessed(state.iterations() * kRows);
  FreeDirectory();
}
BENCHMARK(BM_Sort)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A sort with a filter in force, the common case after a reload.
static void BM_SortFiltered(benchmark::State &state) {
  fill();
  UserTable->setFilter(QStringLiteral("firstname LIKE 'j%'"));
  UserTable->setFiltered(true);
  bool down = false;
  for (auto _ : state) {
    UserTable->setIndexFieldNames(down ? QStringLiteral("firstname:D") : QStringLiteral("firstname"));
    down = !down;
    benchmark::DoNotOptimize(UserTable->visibleRows().size());
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  FreeDirectory();
}
BENCHMARK(BM_SortFiltered)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
