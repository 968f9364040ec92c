// The monthly measurement databases must keep up with a data logger download
// and let the current-values side rebuild a month of history quickly.
// Measured in one run: 1,000,000 measurements of 100 units with 10 inputs
// each, stored through channel states, the writer's queue and thread, then
// walked back through the reader; and, as the yardstick, the same rows put into
// a file of the same layout with one prepared insert in one transaction and
// walked with a plain forward-only SELECT. Figures are records per second.

#include "app/cmdParms.h"
#include "app/dateTimeDouble.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "storage/DBThr.h"
#include "storage/measRecord.h"
#include "storage/odbcDBread.h"
#include "tests/model/devFixtures.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <memory>

namespace {

constexpr int kUnits = 100;
constexpr int kInputs = 10;
constexpr int kSteps = 1000;  // kUnits * kInputs records each
constexpr qint64 kRecords = qint64(kUnits) * kInputs * kSteps;
constexpr int kPeriodSeconds = 60;
constexpr double kSecond = 1.0 / 86400.0;

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// All records lie in one month, one period apart, so no gap rows are due.
double StepTime(int step)
{
  return DateTimeToDouble(QDate(2011, 5, 2), QTime(0, 0)) + step * kPeriodSeconds * kSecond;
}

double ValueOf(int step, int channel)
{
  return (step + channel) % 50 * 0.5;
}

class TPlant {
 public:
  TPlant() : Params(&Types, &Cmd, std::make_unique<fixtures::TFakeStore>())
  {
    QStringList inputs;
    for (int i = 0; i < kInputs; ++i)
      inputs << QStringLiteral("AI%1").arg(i + 1);
    Types.Add(fixtures::MakeType(1, QStringLiteral("AI10"), inputs, 0));
    for (int u = 1; u <= kUnits; ++u) {
      TUnitV4* unit = Params.Units().AddUnit(Types.FindType(1), u, u);
      for (const auto& in : unit->InUnits()) {
        in->Min = -1000;
        in->Max = 1000;
        Channels.push_back(in.get());
      }
    }
  }

  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params;
  std::vector<TInUnitV4*> Channels;
};

// Through StoreState, the live queue and the writer thread, then back through
// the reader. False (with *error) when a record went missing.
bool TerminalPath(double& writeRate, double& readRate, QString* error)
{
  QTemporaryDir dir;
  const QString folder = dir.path() + QLatin1Char('/');
  TPlant plant;
  auto writer = std::make_unique<TDBThr>(folder, &plant.Params);
  writer->SetPeriod(kPeriodSeconds);
  writer->SetCatchUpDone();

  const Clock::time_point writeStart = Clock::now();
  for (int step = 0; step < kSteps; ++step) {
    const double t = StepTime(step);
    for (int u = 0; u < kUnits; ++u) {
      while (!writer->WaitForRoom(kInputs, 1000)) {
      }
      for (int c = 0; c < kInputs; ++c) {
        TInUnitV4& channel = *plant.Channels[static_cast<size_t>(u * kInputs + c)];
        channel.SetReceived(0, t, ValueOf(step, c), 0);
        writer->StoreState(channel, 0);
        channel.Snapshot(0);
      }
    }
  }
  while (!writer->Idle())
    QThread::msleep(1);
  writer.reset();
  writeRate = kRecords / SecondsSince(writeStart);

  const Clock::time_point readStart = Clock::now();
  TDBReadManODBC reader(folder);
  reader.PrepareMeasures({}, StepTime(0), StepTime(kSteps));
  qint64 count = 0;
  double sum = 0;
  for (int rc = reader.FirstMeasure(); rc == 0; rc = reader.NextMeasure()) {
    TMeasureRec rec;
    reader.ReadMeasure(rec);
    sum += rec.Value;
    ++count;
  }
  benchmark::DoNotOptimize(sum);
  readRate = count / SecondsSince(readStart);
  if (count != kRecords) {
    *error = QStringLiteral("terminal path read %1 of %2 records").arg(count).arg(kRecords);
    return false;
  }
  return true;
}

// The same rows with plain statements on one connection.
bool BaselinePath(double& writeRate, double& readRate, QString* error)
{
  QTemporaryDir dir;
  const QString connection = QStringLiteral("bench-baseline");
  qint64 count = 0;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(MonthFileName(dir.path() + QLatin1Char('/'), 2011, 5));
    if (!db.open()) {
      *error = QStringLiteral("baseline file cannot be opened");
      return false;
    }
    {
      QSqlQuery q(db);
      q.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
      for (const QString& statement : MeasureSchema())
        q.exec(statement);
    }

    const Clock::time_point writeStart = Clock::now();
    {
      db.transaction();
      QSqlQuery insert(db);
      insert.prepare(
          QStringLiteral("insert into Measure (ID, IDLogDev, MesDate, Measure, Error, "
                         "IDChannel) values (?,?,?,?,?,?)"));
      qint32 id = 0;
      for (int step = 0; step < kSteps; ++step) {
        const double t = StepTime(step);
        for (int ch = 0; ch < kUnits * kInputs; ++ch) {
          insert.bindValue(0, id++);
          insert.bindValue(1, ch + 1);
          insert.bindValue(2, t);
          insert.bindValue(3, ToStoredValue(ValueOf(step, ch % kInputs)));
          insert.bindValue(4, 0);
          insert.bindValue(5, 0);
          insert.exec();
        }
      }
      db.commit();
    }
    writeRate = kRecords / SecondsSince(writeStart);

    const Clock::time_point readStart = Clock::now();
    {
      QSqlQuery select(db);
      select.setForwardOnly(true);
      select.prepare(
          QStringLiteral("select * from Measure where MesDate >= ? and MesDate <= ? "
                         "order by MesDate"));
      select.bindValue(0, StepTime(0));
      select.bindValue(1, StepTime(kSteps));
      select.exec();
      double sum = 0;
      while (select.next()) {
        for (int i = 0; i < 6; ++i)
          sum += select.value(i).toDouble();
        ++count;
      }
      benchmark::DoNotOptimize(sum);
    }
    readRate = count / SecondsSince(readStart);
    db.close();
  }
  QSqlDatabase::removeDatabase(connection);
  if (count != kRecords) {
    *error = QStringLiteral("baseline read %1 of %2 records").arg(count).arg(kRecords);
    return false;
  }
  return true;
}

void BM_MeasureDatabases(benchmark::State& state)
{
  for (auto _ : state) {
    double writerRate = 0, readerRate = 0, baseWrite = 0, baseRead = 0;
    QString error;
    if (!TerminalPath(writerRate, readerRate, &error) ||
        !BaselinePath(baseWrite, baseRead, &error)) {
      state.SkipWithError(qPrintable(error));
      return;
    }
    state.counters["writer_rec_per_s"] = writerRate;
    state.counters["reader_rec_per_s"] = readerRate;
    state.counters["sqlite_insert_rec_per_s"] = baseWrite;
    state.counters["sqlite_select_rec_per_s"] = baseRead;
    state.counters["writer_vs_sqlite"] = writerRate / baseWrite;
    state.counters["reader_vs_sqlite"] = readerRate / baseRead;
  }
}
BENCHMARK(BM_MeasureDatabases)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

// Loading the SQL driver plugin needs an application object.
int main(int argc, char** argv)
{
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv))
    return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
