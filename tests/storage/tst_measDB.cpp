// The monthly measurement databases: the writer thread fed through channel
// states and its queues, the reader walking month files as one table, and the
// file layout both of them rely on. Every test works in its own temporary
// folder; files are checked through connections of the test's own.

#include "app/cmdParms.h"
#include "app/dateTimeDouble.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "storage/DBThr.h"
#include "storage/measRecord.h"
#include "storage/odbcDBread.h"
#include "tests/model/devFixtures.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr double kSecond = 1.0 / 86400.0;

double At(int y, int m, int d, int h = 0, int min = 0, int s = 0)
{
  return DateTimeToDouble(QDate(y, m, d), QTime(h, min, s));
}

// The folder as the writer and reader expect it: with its trailing separator.
QString Folder(const QTemporaryDir& dir)
{
  return dir.path() + QLatin1Char('/');
}

// A connection of the test thread to one month file; removed again when the
// object goes, so it never outlives the temporary folder.
class TCheckDb {
 public:
  explicit TCheckDb(const QString& file) : m_name(QStringLiteral("check-%1").arg(++s_count))
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
    db.setDatabaseName(file);
    if (!db.open())
      qWarning("cannot open %s", qPrintable(file));
  }
  ~TCheckDb()
  {
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
  }
  TCheckDb(const TCheckDb&) = delete;
  TCheckDb& operator=(const TCheckDb&) = delete;

  bool Exec(const QString& sql, const QVariantList& binds = {})
  {
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (!q.prepare(sql)) {
      qWarning() << sql << q.lastError().text();
      return false;
    }
    for (int i = 0; i < binds.size(); ++i)
      q.bindValue(i, binds.at(i));
    if (!q.exec()) {
      qWarning() << sql << q.lastError().text();
      return false;
    }
    return true;
  }

  QList<QVariantList> Rows(const QString& sql, const QVariantList& binds = {})
  {
    QList<QVariantList> rows;
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    q.setForwardOnly(true);
    if (!q.prepare(sql)) {
      qWarning() << sql << q.lastError().text();
      return rows;
    }
    for (int i = 0; i < binds.size(); ++i)
      q.bindValue(i, binds.at(i));
    if (!q.exec()) {
      qWarning() << sql << q.lastError().text();
      return rows;
    }
    while (q.next()) {
      QVariantList row;
      for (int i = 0; i < q.record().count(); ++i)
        row << q.value(i);
      rows << row;
    }
    return rows;
  }

  QVariant Value(const QString& sql, const QVariantList& binds = {})
  {
    return Rows(sql, binds).value(0).value(0);
  }

  QStringList Names(const QString& sql)
  {
    QStringList names;
    for (const QVariantList& row : Rows(sql))
      names << row.value(0).toString();
    return names;
  }

  // A month file laid out as the writer makes it, for reader fixtures.
  bool MakeSchema()
  {
    for (const QString& statement : MeasureSchema()) {
      if (!Exec(statement))
        return false;
    }
    return true;
  }

  bool AddMeasure(qint32 id, qint32 logId, double time, double stored, qint32 error,
                  qint32 idChannel = 0)
  {
    return Exec(QStringLiteral("insert into Measure (ID, IDLogDev, MesDate, Measure, Error, "
                               "IDChannel) values (?,?,?,?,?,?)"),
                {id, logId, time, stored, error, idChannel});
  }

 private:
  static inline int s_count = 0;
  const QString m_name;
};

// Sensor units with three inputs each. The first unit is live with one input
// disabled and one deleted; the second unit is deleted while its inputs are
// not, so only the unit's own flag keeps it out of gap rows.
class TPlant {
 public:
  TPlant() : Params(&Types, &Cmd, std::make_unique<fixtures::TFakeStore>())
  {
    auto type =
        fixtures::MakeType(12, QStringLiteral("Sensor"),
                           {QStringLiteral("T"), QStringLiteral("H"), QStringLiteral("P")}, 0);
    type->AddError(std::make_unique<TErrorV4>(4, -1, QStringLiteral("Overheat")));
    Types.Add(std::move(type));
    Live = Params.Units().AddUnit(Types.FindType(12), 1, 1);
    Gone = Params.Units().AddUnit(Types.FindType(12), 2, 2);
    for (TUnitV4* unit : {Live, Gone}) {
      for (const auto& in : unit->InUnits()) {
        in->Min = -1000;
        in->Max = 1000;
        in->AddState(1);
      }
    }
    Gone->DelFlag = true;
    Live->InUnits()[1]->UState = 1;
    Live->InUnits()[2]->Deleted = true;
  }

  TInUnitV4& Channel(int i) const { return *Live->InUnits()[static_cast<size_t>(i)]; }
  QList<qint32> GapLogIds() const { return {Channel(0).LogId, Channel(1).LogId}; }

  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params;
  TUnitV4* Live = nullptr;
  TUnitV4* Gone = nullptr;
};

// One value of a channel state handed to the writer the way the acquisition
// side does it: the state is set, stored, then becomes the previous state.
void Feed(TDBThr& writer, TInUnitV4& channel, double time, double value, qint32 code,
          qint32 index = 0)
{
  channel.SetReceived(index, time, value, code);
  writer.StoreState(channel, index);
  channel.Snapshot(index);
}

struct TReadRow {
  qint32 Id = 0;
  TMeasureRec Rec;
};

QList<TReadRow> ReadAll(TDBReadManODBC& reader, const QVector<qint32>& ids, double from, double to)
{
  QList<TReadRow> rows;
  reader.PrepareMeasures(ids, from, to);
  for (int rc = reader.FirstMeasure(); rc == 0; rc = reader.NextMeasure()) {
    TReadRow row;
    row.Id = reader.ReadMeasure(row.Rec);
    rows << row;
  }
  return rows;
}

QList<TReadRow> ReadAll(const QString& dir, const QVector<qint32>& ids, double from, double to)
{
  TDBReadManODBC reader(dir);
  return ReadAll(reader, ids, from, to);
}

QStringList MonthFiles(const QTemporaryDir& dir)
{
  return QDir(dir.path()).entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name);
}

struct TErrExpect {
  qint32 Code = 0;
  int Begin = 0;  // index of the value that began it
  int End = -1;   // index of the value that ended it; -1 still open
  QString Descr;
};

// Ends a producer thread however the test leaves, so a failed check never
// destroys a joinable thread.
class TJoinGuard {
 public:
  TJoinGuard(std::thread& thread, std::atomic<bool>& stop) : m_thread(thread), m_stop(stop) {}
  ~TJoinGuard()
  {
    m_stop = true;
    if (m_thread.joinable())
      m_thread.join();
  }

 private:
  std::thread& m_thread;
  std::atomic<bool>& m_stop;
};

}  // namespace

Q_DECLARE_METATYPE(TErrExpect)
Q_DECLARE_METATYPE(QList<TErrExpect>)

class TstMeasDB : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void monthFiles_data();
  void monthFiles();
  void queueCapacity();
  void queueBoundWithSeveralProducers();
  void refusedItemStaysWithCaller();
  void setPeriod_data();
  void setPeriod();
  void storedValueRoundTrip_data();
  void storedValueRoundTrip();
  void monthFileSchema_data();
  void monthFileSchema();
  void gapRows_data();
  void gapRows();
  void timeRows();
  void storedCodeTranslation_data();
  void storedCodeTranslation();
  void errorTransitions_data();
  void errorTransitions();
  void firstErrorWithoutRows_data();
  void firstErrorWithoutRows();
  void rangeAcrossMonths();
  void idFilter_data();
  void idFilter();
  void inCondition_data();
  void inCondition();
  void statistics_data();
  void statistics();
  void liveQueueWaitsForCatchUp();
  void idsContinueAfterRestart();
  void readerWalksWhileWriterInserts();
};

// ---------------------------------------------------------------------------
// File naming and month arithmetic

void TstMeasDB::monthFiles_data()
{
  QTest::addColumn<double>("t");
  QTest::addColumn<QString>("name");
  QTest::addColumn<double>("start");
  QTest::addColumn<double>("next");
  QTest::addColumn<int>("months");
  QTest::addColumn<double>("moved");

  // Minutes must never stand in for the month.
  QTest::newRow("14:05 in March") << At(2011, 3, 15, 14, 5, 7) << "2011-03.mdb" << At(2011, 3, 1)
                                  << At(2011, 4, 1) << -1 << At(2011, 2, 15, 14, 5, 7);
  QTest::newRow("last second of the year")
      << At(2011, 12, 31, 23, 59, 59) << "2011-12.mdb" << At(2011, 12, 1) << At(2012, 1, 1) << 1
      << At(2012, 1, 31, 23, 59, 59);
  QTest::newRow("first instant of a month")
      << At(2012, 2, 1) << "2012-02.mdb" << At(2012, 2, 1) << At(2012, 3, 1) << 0 << At(2012, 2, 1);
  // Stepping back a month from the 31st lands on the month's last day.
  QTest::newRow("31st back into February") << At(2012, 3, 31, 8) << "2012-03.mdb" << At(2012, 3, 1)
                                           << At(2012, 4, 1) << -1 << At(2012, 2, 29, 8);
}

void TstMeasDB::monthFiles()
{
  QFETCH(double, t);
  QFETCH(QString, name);
  QFETCH(double, start);
  QFETCH(double, next);
  QFETCH(int, months);
  QFETCH(double, moved);

  const QString dir = QStringLiteral("/data/bases/");
  QCOMPARE(MonthFileNameFor(dir, t), dir + name);
  QCOMPARE(MonthStart(t), start);
  QCOMPARE(NextMonth(t), next);
  QCOMPARE(AddMonths(t, months), moved);
}

// ---------------------------------------------------------------------------
// Bounded queue

void TstMeasDB::queueCapacity()
{
  TsafeQueue<int> queue(500);
  for (int i = 0; i < 500; ++i)
    QVERIFY(queue.Push(i));
  QCOMPARE(queue.Count(), 500);
  QVERIFY(queue.Push(500));   // holding 500: still accepted
  QVERIFY(!queue.Push(501));  // holding 501: refused
  QCOMPARE(queue.Count(), 501);

  QCOMPARE(queue.Pop(), std::optional<int>(0));
  QVERIFY(queue.Push(502));  // room again after one left
  QVERIFY(!queue.Push(503));

  queue.Clear();
  QCOMPARE(queue.Count(), 0);
  QCOMPARE(queue.Pop(), std::optional<int>());
}

void TstMeasDB::queueBoundWithSeveralProducers()
{
  // Producers racing for the last places must not overrun the bound.
  TsafeQueue<int> queue(500);
  std::atomic<int> accepted{0};
  std::vector<std::thread> producers;
  for (int p = 0; p < 4; ++p) {
    producers.emplace_back([&queue, &accepted] {
      for (int i = 0; i < 300; ++i) {
        if (queue.Push(i))
          ++accepted;
      }
    });
  }
  for (std::thread& producer : producers)
    producer.join();
  QCOMPARE(accepted.load(), 501);
  QCOMPARE(queue.Count(), 501);
}

void TstMeasDB::refusedItemStaysWithCaller()
{
  // Items that own something (a series, a buffer) must not be freed by a
  // refusal: the caller keeps it and may try again.
  TsafeQueue<std::unique_ptr<int>> queue(0);
  QVERIFY(queue.Push(std::make_unique<int>(1)));
  auto refused = std::make_unique<int>(2);
  QVERIFY(!queue.Push(std::move(refused)));
  QVERIFY(refused != nullptr);
  QCOMPARE(*refused, 2);
}

// ---------------------------------------------------------------------------
// Writer

void TstMeasDB::setPeriod_data()
{
  QTest::addColumn<qint64>("seconds");
  QTest::addColumn<double>("period");

  QTest::newRow("one minute") << qint64(60) << 60 * kSecond;
  QTest::newRow("1 h 1 min 1 s") << qint64(3661) << 3661 * kSecond;
  QTest::newRow("last second of a day") << qint64(86399) << 86399 * kSecond;
  QTest::newRow("a day is no time of day") << qint64(86400) << 0.0;
  QTest::newRow("more than a day") << qint64(90000) << 0.0;
  QTest::newRow("zero") << qint64(0) << 0.0;
}

void TstMeasDB::setPeriod()
{
  QFETCH(qint64, seconds);
  QFETCH(double, period);

  QTemporaryDir dir;
  TDBThr writer(Folder(dir), nullptr);
  writer.SetPeriod(seconds);
  QCOMPARE(writer.Period(), period);
}

void TstMeasDB::storedValueRoundTrip_data()
{
  QTest::addColumn<double>("value");
  QTest::addColumn<double>("stored");
  QTest::addColumn<int>("index");

  QTest::newRow("3.5 live") << 3.5 << 27.0 << 0;
  QTest::newRow("-10 live") << -10.0 << 0.0 << 0;
  QTest::newRow("negative fraction") << -12.25 << -4.5 << 0;
  QTest::newRow("3.5 from the data logger") << 3.5 << 27.0 << 1;
}

void TstMeasDB::storedValueRoundTrip()
{
  QFETCH(double, value);
  QFETCH(double, stored);
  QFETCH(int, index);

  QTemporaryDir dir;
  TPlant plant;
  TInUnitV4& channel = plant.Channel(0);
  const double t = At(2011, 5, 10, 12, 0, 0);
  auto writer = std::make_unique<TDBThr>(Folder(dir), &plant.Params);
  writer->SetCatchUpDone();
  Feed(*writer, channel, t, value, 0, index);
  const qint32 measId = channel.StateMeasId(index);
  writer.reset();  // final drain, files closed

  {
    TCheckDb db(MonthFileName(Folder(dir), 2011, 5));
    const QList<QVariantList> rows = db.Rows(
        QStringLiteral("select ID, IDLogDev, MesDate, Measure, Error, IDChannel from Measure"));
    QCOMPARE(rows.size(), 1);
    const QVariantList expected{measId, channel.LogId, t, stored, 0, index};
    for (int i = 0; i < expected.size(); ++i)
      QCOMPARE(rows[0][i].toDouble(), expected[i].toDouble());
  }

  const QList<TReadRow> read = ReadAll(Folder(dir), {}, t - 1, t + 1);
  QCOMPARE(read.size(), 1);
  QCOMPARE(read[0].Id, measId);
  QVERIFY(read[0].Rec.Valid);
  QCOMPARE(read[0].Rec.LogId, channel.LogId);
  QCOMPARE(read[0].Rec.Time, t);
  QCOMPARE(read[0].Rec.Value, value);
  QCOMPARE(read[0].Rec.ErrCode, 0);
}

void TstMeasDB::monthFileSchema_data()
{
  QTest::addColumn<int>("before");  // 0 no file, 1 empty file, 2 only the first table

  QTest::newRow("new file") << 0;
  QTest::newRow("empty file left behind") << 1;
  QTest::newRow("half-made file") << 2;
}

void TstMeasDB::monthFileSchema()
{
  QFETCH(int, before);

  QTemporaryDir dir;
  // Noon of the last day of the previous month.
  const double t = MonthStart(NowDayCount()) - 0.5;
  const QString file = MonthFileNameFor(Folder(dir), t);
  if (before == 1) {
    QFile empty(file);
    QVERIFY(empty.open(QIODevice::WriteOnly));
  } else if (before == 2) {
    TCheckDb db(file);
    QVERIFY(db.Exec(MeasureSchema().first()));
  }

  auto writer = std::make_unique<TDBThr>(Folder(dir), nullptr);
  writer->SetCatchUpDone();
  writer->QueueMeasure({t, 7, 3.5, 0, 0, 1});
  // Looks like a number, stays a description.
  writer->QueueError({t, 7, 1, 4, QStringLiteral("1e3")});
  writer.reset();

  QVERIFY(QFile::exists(file));
  TCheckDb db(file);
  QCOMPARE(
      db.Names(QStringLiteral("select name from sqlite_master where type='table' order by name")),
      QStringList({"CheckMeasure", "Errors", "Measure"}));
  QCOMPARE(db.Names(QStringLiteral("select name from sqlite_master where type='index' and "
                                   "name not like 'sqlite_%' order by name")),
           QStringList({"CheckMeasure_ID", "Errors_BeginDate", "Errors_Error", "Errors_IDErr",
                        "Errors_IDLogDev", "Measure_IDLogDev", "Measure_MesDate"}));
  QCOMPARE(db.Value(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));

  // The first record of the new month is kept, its date as a day count.
  const QList<QVariantList> measure =
      db.Rows(QStringLiteral("select typeof(MesDate), MesDate, Measure from Measure"));
  QCOMPARE(measure.size(), 1);
  QCOMPARE(measure[0][0].toString(), QStringLiteral("real"));
  QCOMPARE(measure[0][1].toDouble(), t);
  QCOMPARE(measure[0][2].toDouble(), 27.0);
  const QList<QVariantList> errors =
      db.Rows(QStringLiteral("select typeof(Descr), Descr, typeof(BeginDate) from Errors"));
  QCOMPARE(errors.size(), 1);
  QCOMPARE(errors[0][0].toString(), QStringLiteral("text"));
  QCOMPARE(errors[0][1].toString(), QStringLiteral("1e3"));
  QCOMPARE(errors[0][2].toString(), QStringLiteral("real"));
}

void TstMeasDB::gapRows_data()
{
  QTest::addColumn<qint64>("period");
  QTest::addColumn<double>("second");
  QTest::addColumn<double>("gapTime");  // 0: no gap rows

  const double gap = At(2011, 5, 10, 10, 1, 0);
  QTest::newRow("1.9 periods not reached") << qint64(60) << At(2011, 5, 10, 10, 1, 50) << 0.0;
  QTest::newRow("1.9 periods passed") << qint64(60) << At(2011, 5, 10, 10, 1, 55) << gap;
  QTest::newRow("a day's period") << qint64(86400) << At(2011, 5, 11, 10, 0, 0) << 0.0;
  QTest::newRow("no period") << qint64(0) << At(2011, 5, 10, 10, 5, 0) << 0.0;
}

void TstMeasDB::gapRows()
{
  QFETCH(qint64, period);
  QFETCH(double, second);
  QFETCH(double, gapTime);

  QTemporaryDir dir;
  TPlant plant;
  TInUnitV4& channel = plant.Channel(0);
  const double first = At(2011, 5, 10, 10, 0, 0);
  auto writer = std::make_unique<TDBThr>(Folder(dir), &plant.Params);
  writer->SetPeriod(period);
  writer->SetCatchUpDone();
  Feed(*writer, channel, first, 1.0, 0);
  Feed(*writer, channel, second, 2.0, 0);
  writer.reset();

  const QList<qint32> gapIds = gapTime != 0 ? plant.GapLogIds() : QList<qint32>();
  {
    TCheckDb db(MonthFileName(Folder(dir), 2011, 5));
    const QList<QVariantList> rows =
        db.Rows(QStringLiteral("select IDLogDev, ID, MesDate, Measure, IDChannel from Measure "
                               "where Error=-5 order by IDLogDev"));
    QCOMPARE(rows.size(), gapIds.size());
    for (int i = 0; i < rows.size(); ++i) {
      QCOMPARE(rows[i][0].toInt(), gapIds[i]);
      QCOMPARE(rows[i][1].toInt(), 0);
      QCOMPARE(rows[i][2].toDouble(), gapTime);
      QCOMPARE(rows[i][3].toDouble(), 20.0);
      QCOMPARE(rows[i][4].toInt(), 0);
    }
    QCOMPARE(db.Value(QStringLiteral("select count(*) from Measure")).toInt(), 2 + gapIds.size());
  }

  // Readers see the gap rows as value 0 with the gap flag word, between the
  // two measurements.
  const QList<TReadRow> read = ReadAll(Folder(dir), {}, first, second);
  QCOMPARE(read.size(), 2 + gapIds.size());
  QCOMPARE(read.first().Rec.Time, first);
  QCOMPARE(read.last().Rec.Time, second);
  for (int i = 1; i <= gapIds.size(); ++i) {
    QCOMPARE(read[i].Rec.Time, gapTime);
    QCOMPARE(read[i].Rec.Value, 0.0);
    QCOMPARE(static_cast<quint32>(read[i].Rec.ErrCode), kFlagGap);
  }
}

void TstMeasDB::timeRows()
{
  QTemporaryDir dir;
  const double t1 = At(2011, 1, 5, 10, 0, 0);
  const double t2 = At(2011, 1, 5, 10, 1, 0);
  {
    TCheckDb db(MonthFileName(Folder(dir), 2011, 1));
    QVERIFY(db.MakeSchema());
    QVERIFY(db.AddMeasure(0, 1, t1, 20.0, -5));   // gap row of device 1
    QVERIFY(db.AddMeasure(11, 1, t1, 25.0, 0));   // then a value at the same time: 2.5
    QVERIFY(db.AddMeasure(12, 2, t1, 22.0, -3));  // 1.0 below its minimum
    QVERIFY(db.AddMeasure(13, 2, t2, 28.0, 0));   // 4.0
  }

  TDBReadManODBC reader(Folder(dir));
  reader.PrepareMeasures({}, t1, t2);
  QCOMPARE(reader.FirstMeasure(), 0);
  QVector<TRowSlot> rowSlots(3);
  rowSlots[0].LogId = 1;
  rowSlots[1].LogId = 2;
  rowSlots[2].LogId = 3;

  QCOMPARE(reader.ReadTimeRow(rowSlots, 2), 0);  // stopped by the next time
  QVERIFY(rowSlots[0].Valid);
  QCOMPARE(rowSlots[0].Time, t1);
  QCOMPARE(rowSlots[0].Value, 2.5);
  // The gap seen earlier in the row keeps the no-value bit.
  QCOMPARE(static_cast<quint32>(rowSlots[0].ErrCode), kFlagNoValue);
  QVERIFY(rowSlots[1].Valid);
  QCOMPARE(rowSlots[1].Value, 1.0);
  QCOMPARE(static_cast<quint32>(rowSlots[1].ErrCode), kFlagBelowMin);
  QVERIFY(!rowSlots[2].Valid);
  QCOMPARE(rowSlots[2].Time, t1);
  QCOMPARE(rowSlots[2].ErrCode, 0);

  QCOMPARE(reader.ReadTimeRow(rowSlots, 2), -1);  // end of the range
  QVERIFY(!rowSlots[0].Valid);
  QCOMPARE(rowSlots[0].Time, t2);
  QCOMPARE(rowSlots[0].ErrCode, 0);
  QVERIFY(rowSlots[1].Valid);
  QCOMPARE(rowSlots[1].Value, 4.0);
  QCOMPARE(rowSlots[1].ErrCode, 0);
}

// ---------------------------------------------------------------------------
// Reader

void TstMeasDB::storedCodeTranslation_data()
{
  QTest::addColumn<int>("stored");
  QTest::addColumn<int>("idChannel");
  QTest::addColumn<quint32>("read");

  QTest::newRow("no answer") << -1 << 0 << kFlagNoValue;
  QTest::newRow("255 from the data logger") << 255 << 1 << kFlagNoValue;
  QTest::newRow("255 live") << 255 << 0 << 255u;
  QTest::newRow("gap") << -5 << 0 << kFlagGap;
  QTest::newRow("above maximum") << -4 << 0 << kFlagAboveMax;
  QTest::newRow("below minimum") << -3 << 0 << kFlagBelowMin;
  QTest::newRow("communication error") << -2 << 0 << quint32(-2);
  QTest::newRow("valid") << 0 << 1 << 0u;
  QTest::newRow("device word") << 0x8001 << 0 << 0x8001u;
}

void TstMeasDB::storedCodeTranslation()
{
  QFETCH(int, stored);
  QFETCH(int, idChannel);
  QFETCH(quint32, read);

  QCOMPARE(static_cast<quint32>(TranslateStoredError(stored, idChannel)), read);

  QTemporaryDir dir;
  const double t = At(2011, 1, 5, 10, 0, 0);
  {
    TCheckDb db(MonthFileName(Folder(dir), 2011, 1));
    QVERIFY(db.MakeSchema());
    QVERIFY(db.AddMeasure(42, 9, t, 27.0, stored, idChannel));
  }
  TDBReadManODBC reader(Folder(dir));
  reader.PrepareMeasures({}, t, t);
  QCOMPARE(reader.FirstMeasure(), 0);
  TMeasureRec rec;
  QCOMPARE(reader.ReadMeasure(rec), 42);
  QVERIFY(rec.Valid);
  QCOMPARE(rec.LogId, 9);
  QCOMPARE(rec.Value, 3.5);
  QCOMPARE(static_cast<quint32>(rec.ErrCode), read);
  QCOMPARE(reader.NextMeasure(), -1);
  QCOMPARE(reader.ReadMeasure(rec), -1);
  QVERIFY(!rec.Valid);
}

void TstMeasDB::errorTransitions_data()
{
  QTest::addColumn<double>("start");
  QTest::addColumn<QList<int>>("codes");
  QTest::addColumn<QList<TErrExpect>>("rows");

  const double start = At(2011, 5, 10, 10, 0, 0);
  QTest::newRow("4 to 5 to valid")
      << start << QList<int>{0, 4, 5, 0}
      << QList<TErrExpect>{{4, 1, 2, QStringLiteral("Overheat")}, {5, 2, 3, QString()}};
  // Codes past 16 bits must be stored whole, or the closing update misses them.
  QTest::newRow("device words from 0x8000")
      << start << QList<int>{0x8000, 0xFFFF, 0}
      << QList<TErrExpect>{{0x8000, 0, 1, QString()}, {0xFFFF, 1, 2, QString()}};
  QTest::newRow("a lasting error stays one open row")
      << start << QList<int>{4, 4, 4} << QList<TErrExpect>{{4, 0, -1, QStringLiteral("Overheat")}};
  QTest::newRow("the same error again after a valid value")
      << start << QList<int>{4, 0, 4, 0}
      << QList<TErrExpect>{{4, 0, 1, QStringLiteral("Overheat")},
                           {4, 2, 3, QStringLiteral("Overheat")}};
  QTest::newRow("fixed descriptions") << start << QList<int>{-1, -2, 0, -4}
                                      << QList<TErrExpect>{{-1, 0, 1, QStringLiteral("???")},
                                                           {-2, 1, 2, QStringLiteral("ERROR")},
                                                           {-4, 3, -1, QStringLiteral("! > MAX")}};
  // An error stays in the file of the month it began in, also when it ends
  // in the next one.
  QTest::newRow("across the end of a month")
      << At(2011, 5, 31, 23, 58, 0) << QList<int>{0, 4, 5, 0}
      << QList<TErrExpect>{{4, 1, 2, QStringLiteral("Overheat")}, {5, 2, 3, QString()}};
}

void TstMeasDB::errorTransitions()
{
  QFETCH(double, start);
  QFETCH(QList<int>, codes);
  QFETCH(QList<TErrExpect>, rows);

  QTemporaryDir dir;
  TPlant plant;
  TInUnitV4& channel = plant.Channel(0);
  QList<double> times;
  QList<qint32> errIds;  // ids handed out for errors that began
  auto writer = std::make_unique<TDBThr>(Folder(dir), &plant.Params);
  writer->SetCatchUpDone();
  qint32 prev = 0;
  for (int i = 0; i < codes.size(); ++i) {
    times << start + i * 60 * kSecond;
    Feed(*writer, channel, times.last(), 1.0, codes[i]);
    if (codes[i] != 0 && codes[i] != prev)
      errIds << channel.StateErrId(0);
    prev = codes[i];
  }
  writer.reset();

  QCOMPARE(errIds.size(), rows.size());
  for (int i = 1; i < errIds.size(); ++i)
    QCOMPARE(errIds[i], errIds[i - 1] + 1);

  TDBReadManODBC reader(Folder(dir));
  reader.PrepareErrors(times.first(), times.last());
  QList<TErrorRec> read;
  for (int rc = reader.FirstError(); rc == 0; rc = reader.NextError()) {
    TErrorRec rec;
    reader.ReadError(rec);
    QVERIFY(rec.Valid);
    read << rec;
  }
  QCOMPARE(read.size(), rows.size());
  for (int i = 0; i < rows.size(); ++i) {
    QCOMPARE(read[i].ErrCode, rows[i].Code);
    QCOMPARE(read[i].LogId, channel.LogId);
    QCOMPARE(read[i].ErrId, errIds[i]);
    QCOMPARE(read[i].BeginDate, times[rows[i].Begin]);
    QCOMPARE(read[i].EndDate, rows[i].End < 0 ? 0.0 : times[rows[i].End]);
  }

  QStringList descr;
  for (const TErrExpect& row : rows)
    descr << row.Descr;
  QStringList stored;
  for (const QString& name : MonthFiles(dir)) {
    TCheckDb db(Folder(dir) + name);
    for (const QVariantList& row :
         db.Rows(QStringLiteral("select BeginDate, Descr from Errors order by BeginDate"))) {
      QCOMPARE(MonthFileNameFor(Folder(dir), row[0].toDouble()), Folder(dir) + name);
      stored << row[1].toString();
    }
  }
  QCOMPARE(stored, descr);
}

void TstMeasDB::firstErrorWithoutRows_data()
{
  QTest::addColumn<bool>("withFile");

  QTest::newRow("month file without errors") << true;
  QTest::newRow("no month file") << false;
}

void TstMeasDB::firstErrorWithoutRows()
{
  QFETCH(bool, withFile);

  QTemporaryDir dir;
  if (withFile) {
    TCheckDb db(MonthFileName(Folder(dir), 2011, 1));
    QVERIFY(db.MakeSchema());
    QVERIFY(db.AddMeasure(1, 1, At(2011, 1, 5), 20.0, 4));
  }
  TDBReadManODBC reader(Folder(dir));
  reader.PrepareErrors(At(2011, 1, 1), At(2011, 1, 31));
  QCOMPARE(reader.FirstError(), -1);
  TErrorRec rec;
  rec.Valid = true;
  reader.ReadError(rec);
  QVERIFY(!rec.Valid);
  QCOMPARE(reader.NextError(), -1);
}

void TstMeasDB::rangeAcrossMonths()
{
  QTemporaryDir dir;
  const QList<double> inRange{At(2011, 1, 20), At(2011, 1, 25, 12),   At(2011, 1, 31, 23),
                              At(2011, 3, 1),  At(2011, 3, 5, 6, 30), At(2011, 3, 10)};
  const QList<double> outside{At(2010, 12, 28), At(2011, 1, 10), At(2011, 3, 10, 0, 0, 1),
                              At(2011, 4, 2)};
  // Queued out of order: the reader orders within a month, the walk across.
  const QList<double> queued{inRange[4], outside[2], inRange[1], inRange[5], outside[0],
                             inRange[0], outside[1], inRange[3], inRange[2], outside[3]};
  auto writer = std::make_unique<TDBThr>(Folder(dir), nullptr);
  writer->SetCatchUpDone();
  for (int i = 0; i < queued.size(); ++i)
    writer->QueueMeasure({queued[i], 5, double(i), 0, 0, 100 + i});
  writer.reset();

  const QString february = MonthFileName(Folder(dir), 2011, 2);
  QVERIFY(QFile::exists(MonthFileName(Folder(dir), 2011, 1)));
  QVERIFY(QFile::exists(MonthFileName(Folder(dir), 2011, 3)));
  QVERIFY(!QFile::exists(february));

  const QList<TReadRow> read = ReadAll(Folder(dir), {}, At(2011, 1, 20), At(2011, 3, 10));
  QList<double> times;
  for (const TReadRow& row : read) {
    QVERIFY(row.Rec.Valid);
    QCOMPARE(row.Id, 100 + static_cast<int>(queued.indexOf(row.Rec.Time)));
    times << row.Rec.Time;
  }
  QCOMPARE(times, inRange);
  QVERIFY(!QFile::exists(february));  // reading never creates a month
}

void TstMeasDB::idFilter_data()
{
  QTest::addColumn<QVector<qint32>>("ids");
  QTest::addColumn<QList<qint32>>("read");

  QVector<qint32> many;
  for (qint32 id = 4; id < 4 + TDBReadManODBC::kMaxInIds + 100; ++id)
    many << id;
  many << 2;

  QTest::newRow("every device") << QVector<qint32>() << QList<qint32>{1, 2, 3, 1, 2, 3};
  QTest::newRow("one") << QVector<qint32>{1} << QList<qint32>{1, 1};
  QTest::newRow("two in any order") << QVector<qint32>{3, 1} << QList<qint32>{1, 3, 1, 3};
  QTest::newRow("unknown") << QVector<qint32>{9} << QList<qint32>();
  QTest::newRow("more ids than parameters") << many << QList<qint32>{2, 2};
}

void TstMeasDB::idFilter()
{
  QFETCH(QVector<qint32>, ids);
  QFETCH(QList<qint32>, read);

  QTemporaryDir dir;
  const double t = At(2011, 1, 5, 10, 0, 0);
  {
    TCheckDb db(MonthFileName(Folder(dir), 2011, 1));
    QVERIFY(db.MakeSchema());
    for (int i = 0; i < 6; ++i)
      QVERIFY(db.AddMeasure(i, i % 3 + 1, t + i * kSecond, 20.0, 0));
  }
  QList<qint32> logIds;
  for (const TReadRow& row : ReadAll(Folder(dir), ids, t, t + 10 * kSecond))
    logIds << row.Rec.LogId;
  QCOMPARE(logIds, read);
}

void TstMeasDB::inCondition_data()
{
  QTest::addColumn<int>("n");
  QTest::addColumn<QString>("condition");

  QTest::newRow("one") << 1 << "IDLogDev in (:id0)";
  QTest::newRow("three") << 3 << "IDLogDev in (:id0,:id1,:id2)";
}

void TstMeasDB::inCondition()
{
  QFETCH(int, n);
  QFETCH(QString, condition);
  QCOMPARE(TDBReadManODBC::InCondition(n), condition);
}

void TstMeasDB::statistics_data()
{
  QTest::addColumn<qint32>("logId");
  QTest::addColumn<double>("from");
  QTest::addColumn<double>("to");
  QTest::addColumn<qint32>("count");
  QTest::addColumn<double>("sum");
  QTest::addColumn<double>("avg");
  QTest::addColumn<double>("min");
  QTest::addColumn<double>("max");

  const double from = At(2011, 1, 10);
  const double to = At(2011, 3, 10);
  QTest::newRow("two months around a missing one")
      << 1 << from << to << 4 << 11.0 << 2.75 << 1.0 << 5.0;
  QTest::newRow("one row") << 2 << from << to << 1 << 50.0 << 50.0 << 50.0 << 50.0;
  QTest::newRow("negative values") << 3 << from << to << 2 << -7.5 << -3.75 << -5.0 << -2.5;
  QTest::newRow("no rows for the device")
      << 9 << from << to << 0 << 0.0 << 0.0 << 1.7e308 << -1.7e308;
  QTest::newRow("no files in the range")
      << 1 << At(2010, 6, 1) << At(2010, 8, 1) << 0 << 0.0 << 0.0 << 1.7e308 << -1.7e308;
}

void TstMeasDB::statistics()
{
  QFETCH(qint32, logId);
  QFETCH(double, from);
  QFETCH(double, to);
  QFETCH(qint32, count);
  QFETCH(double, sum);
  QFETCH(double, avg);
  QFETCH(double, min);
  QFETCH(double, max);

  QTemporaryDir dir;
  {
    TCheckDb jan(MonthFileName(Folder(dir), 2011, 1));
    QVERIFY(jan.MakeSchema());
    QVERIFY(jan.AddMeasure(1, 1, At(2011, 1, 5), 2020.0, 0));  // before the range
    QVERIFY(jan.AddMeasure(2, 1, At(2011, 1, 20), 22.0, 0));   // 1
    QVERIFY(jan.AddMeasure(3, 1, At(2011, 1, 21), 26.0, -3));  // 3, below minimum: counted
    QVERIFY(jan.AddMeasure(4, 1, At(2011, 1, 22), 220.0, 7));  // 100, device error: not counted
    QVERIFY(jan.AddMeasure(0, 1, At(2011, 1, 23), 20.0, -5));  // gap row
    QVERIFY(jan.AddMeasure(5, 1, At(2011, 1, 24), 80.0, -1));  // no answer
    QVERIFY(jan.AddMeasure(6, 2, At(2011, 1, 24), 120.0, 0));  // 50
    QVERIFY(jan.AddMeasure(7, 3, At(2011, 1, 25), 10.0, 0));   // -5
    TCheckDb mar(MonthFileName(Folder(dir), 2011, 3));
    QVERIFY(mar.MakeSchema());
    QVERIFY(mar.AddMeasure(8, 1, At(2011, 3, 2), 30.0, -4));     // 5, above maximum: counted
    QVERIFY(mar.AddMeasure(9, 1, At(2011, 3, 3), 24.0, 0));      // 2
    QVERIFY(mar.AddMeasure(10, 1, At(2011, 3, 20), -980.0, 0));  // after the range
    QVERIFY(mar.AddMeasure(11, 3, At(2011, 3, 4), 15.0, 0));     // -2.5
  }

  TDBReadManODBC reader(Folder(dir));
  TStatistics stat;
  stat.Count = 77;  // whatever the caller held is replaced
  reader.Statistics(logId, from, to, stat);
  QCOMPARE(stat.Count, count);
  QCOMPARE(stat.Sum, sum);
  QCOMPARE(stat.Avg, avg);
  QCOMPARE(stat.Min, min);
  QCOMPARE(stat.Max, max);
  QCOMPARE(MonthFiles(dir), QStringList({"2011-01.mdb", "2011-03.mdb"}));
}

// ---------------------------------------------------------------------------
// Writer queues and threads

void TstMeasDB::liveQueueWaitsForCatchUp()
{
  QTemporaryDir dir;
  const double t0 = At(2011, 5, 10, 10, 0, 0);
  const double from = At(2011, 5, 1);
  const double to = At(2011, 5, 31);
  TDBThr writer(Folder(dir), nullptr);
  for (int i = 0; i < 990; ++i)
    writer.QueueMeasure({t0 + i * kSecond, 1, 1.0, 0, 0, i});
  QVERIFY(writer.HasRoom(10));
  QVERIFY(!writer.HasRoom(11));

  // While the logger is being caught up only its records are written.
  writer.QueueMeasure({t0 - 60 * kSecond, 2, 5.0, 0, 1, 5000});
  QTRY_COMPARE_WITH_TIMEOUT(ReadAll(Folder(dir), {}, from, to).size(), 1, 20000);
  QVERIFY(!writer.HasRoom(11));
  QVERIFY(!writer.Idle());

  writer.SetCatchUpDone();
  QVERIFY(writer.WaitForRoom(1000, 60000));
  QTRY_VERIFY_WITH_TIMEOUT(writer.Idle(), 60000);
  QCOMPARE(ReadAll(Folder(dir), {}, from, to).size(), 991);

  // A logger record that comes after the switch is still written.
  writer.QueueMeasure({t0 - 120 * kSecond, 2, 6.0, 0, 1, 5001});
  QTRY_VERIFY_WITH_TIMEOUT(writer.Idle(), 60000);
  const QList<TReadRow> read = ReadAll(Folder(dir), {2}, from, to);
  QCOMPARE(read.size(), 2);
  QCOMPARE(read[0].Id, 5001);
  QCOMPARE(read[0].Rec.Value, 6.0);
}

void TstMeasDB::idsContinueAfterRestart()
{
  QTemporaryDir dir;
  TPlant plant;
  TInUnitV4& channel = plant.Channel(0);
  // In the current month, the file the writer keeps open from its start.
  const double t = MonthStart(NowDayCount()) + 60 * kSecond;
  qint32 maxMeasId = -1;
  qint32 maxErrId = -1;
  {
    TDBThr writer(Folder(dir), &plant.Params);
    writer.SetCatchUpDone();
    const QList<int> codes{0, 4, 5};
    for (int i = 0; i < codes.size(); ++i) {
      Feed(writer, channel, t + i * kSecond, 1.0, codes[i]);
      maxMeasId = std::max(maxMeasId, channel.StateMeasId(0));
      maxErrId = std::max(maxErrId, channel.StateErrId(0));
    }
  }

  // The producer goes on at once, as the acquisition does after a restart.
  {
    TDBThr writer(Folder(dir), &plant.Params);
    writer.SetCatchUpDone();
    Feed(writer, channel, t + 3 * kSecond, 1.0, 6);
    QCOMPARE(channel.StateMeasId(0), maxMeasId + 1);
    QCOMPARE(channel.StateErrId(0), maxErrId + 1);
  }

  TCheckDb db(MonthFileNameFor(Folder(dir), t));
  const QList<QVariantList> ids =
      db.Rows(QStringLiteral("select count(*), count(distinct ID) from Measure"));
  QCOMPARE(ids.value(0).value(0).toInt(), 4);
  QCOMPARE(ids.value(0).value(1).toInt(), 4);
  const QList<QVariantList> errIds =
      db.Rows(QStringLiteral("select count(*), count(distinct IDErr) from Errors"));
  QCOMPARE(errIds.value(0).value(0).toInt(), 3);
  QCOMPARE(errIds.value(0).value(1).toInt(), 3);
  // The error of the first run is closed by the second.
  QCOMPARE(db.Value(QStringLiteral("select EndDate from Errors where Error=5")).toDouble(),
           t + 3 * kSecond);
}

void TstMeasDB::readerWalksWhileWriterInserts()
{
  constexpr int kSteps = 5000;  // two channels each
  QTemporaryDir dir;
  TPlant plant;
  TInUnitV4& first = plant.Channel(0);
  TInUnitV4& second = plant.Channel(1);
  const double from = MonthStart(NowDayCount());
  const double to = NextMonth(from);
  auto writer = std::make_unique<TDBThr>(Folder(dir), &plant.Params);
  writer->SetCatchUpDone();

  std::atomic<bool> stop{false};
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (int k = 0; k < kSteps && !stop; ++k) {
      while (!writer->WaitForRoom(2, 100)) {
        if (stop)
          return;
      }
      const double t = from + k * kSecond;
      Feed(*writer, first, t, k % 100, 0);
      Feed(*writer, second, t, -(k % 100), 0);
    }
    done = true;
  });
  TJoinGuard guard(producer, stop);

  TDBReadManODBC reader(Folder(dir));
  const QDeadlineTimer deadline(240000);
  int previous = 0;
  for (;;) {
    const bool finished = done.load();
    const QList<TReadRow> rows = ReadAll(reader, {}, from, to);
    for (int i = 1; i < rows.size(); ++i)
      QVERIFY(rows[i - 1].Rec.Time <= rows[i].Rec.Time);
    // A walk never sees fewer rows than the one before: nothing is dropped
    // or hidden by a busy file.
    QVERIFY2(rows.size() >= previous,
             qPrintable(QStringLiteral("%1 after %2").arg(rows.size()).arg(previous)));
    previous = static_cast<int>(rows.size());
    if (finished && previous == 2 * kSteps)
      break;
    QVERIFY2(!deadline.hasExpired(), qPrintable(QStringLiteral("%1 rows").arg(previous)));
  }
  producer.join();

  QTRY_VERIFY_WITH_TIMEOUT(writer->Idle(), 60000);
  const QList<TReadRow> rows = ReadAll(reader, {}, from, to);
  QCOMPARE(rows.size(), 2 * kSteps);
  QSet<qint32> ids;
  for (const TReadRow& row : rows)
    ids.insert(row.Id);
  QCOMPARE(ids.size(), 2 * kSteps);
  writer.reset();
}

QTEST_GUILESS_MAIN(TstMeasDB)
#include "tst_measDB.moc"
