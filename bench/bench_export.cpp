// The export of the user table at 20,000 rows in every format: the time of
// one export and the peak memory it needs; and, in the same run, the floor
// for xlsx: a bare libxlsxwriter loop writing the same strings, unstyled,
// with the same constant-memory option.
//
// Peak memory is measured in a fresh run of this program that builds the
// table and its snapshot, then exports once: "peak_MiB" is that run's
// highest resident size, "extra_MiB" what the export added on top of the
// table and snapshot.

#include "APIWazoData.h"
#include "BenchData.h"
#include "ExportFile.h"
#include "MemTable.h"
#include "TXLSExport.h"

#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <xlsxwriter.h>


#include <cstdio>
#include <malloc.h>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 20000;

QTemporaryDir *workDir = nullptr;
const TExportSnapshot *snapshot = nullptr;

const char *const kFormats[] = {"xlsx", "xls", "ods", "csv", "txt", "html", "json", "pdf"};

QString target(const char *ext) { return workDir->filePath(QStringLiteral("users.") + ext); }

// One figure of /proc/self/status, in MiB.
double statusMiB(const char *key) {
  double kib = -1;
  if (FILE *f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    const size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f))
      if (std::strncmp(line, key, n) == 0 && line[n] == ':')
        kib = std::atof(line + n + 1);
    std::fclose(f);
  }
  return kib / 1024.0;
}

// Peak memory comes from a fresh run of this program ("--peak WHAT"),
// whose heap holds nothing but the table and its snapshot: it notes its
// resident size, runs the export once, and prints that size and its peak.
void measurePeak(benchmark::State &state, const char *what) {
  QProcess child;
  child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--peak"), QString::fromLatin1(what)});
  if (!child.waitForFinished(600000) || child.exitCode() != 0) {
    state.SkipWithError("peak measurement failed");
    return;
  }
  const QList<QByteArray> figures = child.readAllStandardOutput().trimmed().split(' ');
  if (figures.size() != 2)
    return;
  state.counters["peak_MiB"] = figures[1].toDouble();
  state.counters["extra_MiB"] = figures[1].toDouble() - figures[0].toDouble();
}

// One export through the program's path: writer chosen by extension,
// temporary file, rename over the target.
void BM_Export(benchmark::State &state) {
  const char *ext = kFormats[state.range(0)];
  state.SetLabel(ext);
  const QString path = target(ext);
  for (auto _ : state) {
    const QString result = exportSnapshot(*snapshot, path);
    if (result != path) {
      state.SkipWithError(qPrintable(result));
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kRows);
  state.counters["file_KiB"] = double(QFile(path).size()) / 1024.0;
  measurePeak(state, ext);
}
BENCHMARK(BM_Export)->DenseRange(0, 7)->Unit(benchmark::kMillisecond);

// The snapshot ExportDataSet takes of the table before any writer runs.
void BM_Snapshot(benchmark::State &state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(exportSnapshotOf(*UserTable));
  state.SetItemsProcessed(state.iterations() * kRows);
  measurePeak(state, "snapshot");
}
BENCHMARK(BM_Snapshot)->Unit(benchmark::kMillisecond);

// The whole ExportDataSet, taking its snapshot of the table too.
void BM_ExportDataSetXlsx(benchmark::State &state) {
  const QString path = target("xlsx");
  for (auto _ : state)
    benchmark::DoNotOptimize(ExportDataSet(*UserTable, path));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ExportDataSetXlsx)->Unit(benchmark::kMillisecond);

// The floor: the same texts, already UTF-8, written cell by cell with no
// formats, column widths or temporary file.
void writeBareXlsx(const std::vector<std::vector<std::string>> &cells, const std::string &path) {
  lxw_workbook_options options = {};
  options.constant_memory = LXW_TRUE;
  lxw_workbook *book = workbook_new_opt(path.c_str(), &options);
  lxw_worksheet *sheet = workbook_add_worksheet(book, nullptr);
  for (size_t r = 0; r < cells.size(); ++r)
    for (size_t c = 0; c < cells[r].size(); ++c)
      worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c), cells[r][c].c_str(), nullptr);
  workbook_close(book);
}

std::vector<std::vector<std::string>> bareCells() {
  std::vector<std::vector<std::string>> cells;
  std::vector<std::string> header;
  for (const TExportColumn &c : snapshot->columns)
    header.push_back(c.header.toStdString());
  cells.push_back(header);
  for (const TExportRow &row : snapshot->rows) {
    std::vector<std::string> r;
    for (const TExportValue &v : row)
      r.push_back(v ? v->toStdString() : std::string());
    cells.push_back(std::move(r));
  }
  return cells;
}

void BM_XlsxBareLibxlsxwriter(benchmark::State &state) {
  const std::vector<std::vector<std::string>> cells = bareCells();
  const std::string path = QFile::encodeName(target("bare.xlsx")).toStdString();
  for (auto _ : state)
    writeBareXlsx(cells, path);
  state.SetItemsProcessed(state.iterations() * kRows);
  measurePeak(state, "bare");
}
BENCHMARK(BM_XlsxBareLibxlsxwriter)->Unit(benchmark::kMillisecond);

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Ours and the floor in turn within each iteration, so that both meet the
// same load on a shared machine; "ratio" is ours over the floor, in CPU time.
void BM_XlsxAgainstBare(benchmark::State &state) {
  const std::vector<std::vector<std::string>> cells = bareCells();
  const std::string barePath = QFile::encodeName(target("bare.xlsx")).toStdString();
  const QString path = target("xlsx");
  double ours = 0, bare = 0;
  for (auto _ : state) {
    const double t0 = cpuSeconds();
    benchmark::DoNotOptimize(exportSnapshot(*snapshot, path));
    const double t1 = cpuSeconds();
    writeBareXlsx(cells, barePath);
    bare += cpuSeconds() - t1;
    ours += t1 - t0;
  }
  const double n = double(state.iterations());
  state.counters["ours_cpu_ms"] = ours / n * 1000;
  state.counters["bare_cpu_ms"] = bare / n * 1000;
  state.counters["ratio"] = bare > 0 ? ours / bare : 0;
}
BENCHMARK(BM_XlsxAgainstBare)->Unit(benchmark::kMillisecond)->MinTime(3);

// The child of measurePeak: one export (or the bare loop, or the
// snapshot alone), then "resident-before peak" in MiB on stdout.
int peakRun(const QString &what) {
  const std::vector<std::vector<std::string>> cells =
      what == QLatin1String("bare") ? bareCells() : std::vector<std::vector<std::string>>();
  // Loading the table peaked higher than what stays: hand the free heap
  // back and restart the peak from here.
  malloc_trim(0);
  if (FILE *f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
  const double before = statusMiB("VmRSS");
  if (what == QLatin1String("bare"))
    writeBareXlsx(cells, QFile::encodeName(target("bare.xlsx")).toStdString());
  else if (what == QLatin1String("snapshot"))
    benchmark::DoNotOptimize(exportSnapshotOf(*UserTable));
  else if (exportSnapshot(*snapshot, target(qPrintable(what))) != target(qPrintable(what)))
    return 1;
  std::printf("%.2f %.2f\n", before, statusMiB("VmHWM"));
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);  // the PDF writer needs the font database
  const bool peak = argc == 3 && std::strcmp(argv[1], "--peak") == 0;
  if (!peak)
    benchmark::Initialize(&argc, argv);

  QTemporaryDir dir;
  workDir = &dir;
  CreateUserTable();
  LoadIncalls(benchdata::incallsBody(kRows));
  LoadUsers(benchdata::usersBody(kRows));
  const TExportSnapshot taken = exportSnapshotOf(*UserTable);
  snapshot = &taken;

  int rc = 0;
  if (peak) {
    rc = peakRun(QString::fromLatin1(argv[2]));
  } else {
    std::fprintf(stderr, "table: %d rows, %d fields\n", int(taken.rows.size()), int(taken.columns.size()));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  FreeDirectory();
  return rc;
}
