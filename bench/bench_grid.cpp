// The users grid of the main window at 20,000 users loaded from the fake
// exchange: one keystroke in a
// filter edit until the grid is refilled, one header click until the grid is
// refilled, each beside a bare loop doing the same case-insensitive test (or
// the same sort) over the same 20,000 texts.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_grid --benchmark_repetitions=3

#include "APIWazoData.h"
#include "FLarkspan.h"
#include "FakeExchange.h"
#include "traces.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>
#include <numeric>

namespace {

constexpr int kUsers = 20000;

FakeExchange *fake = nullptr;

// The main window, shown, after its first reload from the fake exchange
// with kUsers users (so the widths are fitted once, as in the program).
// Created once: it owns the program-wide table.
TFMainLarkspan *window() {
  static TFMainLarkspan *w = [] {
    static QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    const QString ini = QStringLiteral("[API_1]\r\nBASE_URL=%1\r\nUSERNAME=%2\r\nPASSW=%3\r\n")
                            .arg(fake->baseUrl(), fake->login(), fake->password());
    QFile file(ProgramFileName(QStringLiteral(".ini")));
    if (!file.open(QIODevice::WriteOnly) || file.write(ini.toUtf8()) < 0)
      qFatal("cannot write the settings file");
    file.close();
    auto *created = new TFMainLarkspan;
    QSignalSpy shown(created, &TFMainLarkspan::formShown);
    created->show();
    if (!shown.wait(120000) || created->StringGrid->RowCount() != kUsers)
      qFatal("the first reload did not load %d users", kUsers);
    QCoreApplication::processEvents();
    return created;
  }();
  return w;
}

QStringList fieldTexts(const QString &field) {
  const int f = UserTable->fieldIndex(field);
  QStringList texts;
  texts.reserve(UserTable->rowCount());
  for (int r = 0; r < UserTable->rowCount(); ++r)
    texts << UserTable->value(r, f);
  return texts;
}

void resetFilters(TFMainLarkspan *w) {
  for (QLineEdit *edit : {w->EdFirstName, w->EdLastName, w->EdExtension})
    edit->clear();
}

} // namespace

// One key typed in the first-name edit: the expression is rebuilt, the table
// filters its 20,000 rows and the grid takes the rows that pass. Arg 0 types
// "j" into an empty edit, arg 1 types "o" after "j", arg 2 erases the "j"
// (no filter left: all 20,000 rows come back; no bare loop to compare).
static void BM_FilterKeystroke(benchmark::State &state) {
  TFMainLarkspan *w = window();
  const QString before[] = {QString(), QStringLiteral("j"), QStringLiteral("j")};
  const Qt::Key keys[] = {Qt::Key_J, Qt::Key_O, Qt::Key_Backspace};
  const char *labels[] = {"\"j\" into an empty edit", "\"o\" after \"j\"", "backspace after \"j\""};
  const auto arg = size_t(state.range(0));
  resetFilters(w);
  qsizetype shown = 0;
  for (auto _ : state) {
    state.PauseTiming();
    w->EdFirstName->setText(before[arg]);
    w->EdFirstName->end(false);
    state.ResumeTiming();
    QTest::keyClick(w->EdFirstName, keys[arg]);
    shown += w->StringGrid->RowCount();
  }
  benchmark::DoNotOptimize(shown);
  state.counters["rows_shown"] = double(w->StringGrid->RowCount());
  state.SetLabel(labels[arg]);
  resetFilters(w);
}
BENCHMARK(BM_FilterKeystroke)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// The same test done bare: each first name checked case-insensitively
// against the typed prefix, the matching indexes kept.
static void BM_BareFilterLoop(benchmark::State &state) {
  window();
  const QStringList names = fieldTexts(QStringLiteral("firstname"));
  const QString prefix = state.range(0) == 1 ? QStringLiteral("jo") : QStringLiteral("j");
  QVector<int> kept;
  kept.reserve(names.size());
  for (auto _ : state) {
    kept.clear();
    for (int i = 0; i < names.size(); ++i)
      if (names[i].startsWith(prefix, Qt::CaseInsensitive))
        kept.append(i);
    benchmark::DoNotOptimize(kept.data());
  }
  state.counters["rows_shown"] = double(kept.size());
}
BENCHMARK(BM_BareFilterLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// One click on the lastname header: the table sorts its 20,000 rows (the
// clicks alternate ascending and descending) and the grid is refilled.
static void BM_HeaderClick(benchmark::State &state) {
  TFMainLarkspan *w = window();
  resetFilters(w);
  TGridColumn *column = w->StringGrid->columnByName(QStringLiteral("lastname"));
  for (auto _ : state) {
    w->StringGridHeaderClick(column);
    benchmark::DoNotOptimize(w->StringGrid->RowCount());
  }
  UserTable->setIndexFieldNames(QStringLiteral("extensions"));
}
BENCHMARK(BM_HeaderClick)->Unit(benchmark::kMillisecond);

// The same sort done bare: a stable sort of the 20,000 row indexes by the
// same comparison of the same texts, ascending and descending in turn.
static void BM_BareSortLoop(benchmark::State &state) {
  window();
  const QStringList names = fieldTexts(QStringLiteral("lastname"));
  QVector<int> order(names.size());
  bool down = false;
  auto less = [&names](int a, int b) {
    int c = QString::compare(names[a], names[b], Qt::CaseInsensitive);
    if (c == 0)
      c = QString::compare(names[a], names[b], Qt::CaseSensitive);
    return c < 0;
  };
  for (auto _ : state) {
    std::iota(order.begin(), order.end(), 0);
    if (down)
      std::stable_sort(order.begin(), order.end(), [&less](int a, int b) { return less(b, a); });
    else
      std::stable_sort(order.begin(), order.end(), less);
    down = !down;
    benchmark::DoNotOptimize(order.data());
  }
}
BENCHMARK(BM_BareSortLoop)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("LARKSPAN_FAKE_EXCHANGE"))
    qputenv("LARKSPAN_FAKE_EXCHANGE", LARKSPAN_FAKE_EXCHANGE_PATH);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  FakeExchange exchange;
  if (!exchange.startWithUsers(kUsers))
    qFatal("%s", qPrintable(exchange.errorString()));
  fake = &exchange;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
