// The server's parts without a network: the documents it serves load into a
// configuration, the simulation is reproducible and shows the events a
// terminal has to cope with, series files have the layout the terminal's
// reader checks, and history is written once per period.

#include "app/cmdParms.h"
#include "app/dateTimeDouble.h"
#include "comm/measStream.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "server/historyFill.h"
#include "server/measServer.h"
#include "server/serverDocs.h"
#include "server/valueGen.h"
#include "storage/mainDBxml.h"
#include "storage/odbcDBread.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

// A configuration loaded from the documents as a terminal loads them.
struct TLoaded {
  TcmdParms Cmd;
  TTypeListV4 Types;
  TMainDBParamsV4 Params{&Types, &Cmd};
  QString Error;
  bool Load(const TServerDocuments& docs)
  {
    if (Params.LoadTypeDocument(docs.Types, &Error) != 0)
      return false;
    TmainDB store;
    if (store.LoadDocument(Params, docs.Main) != 0) {
      Error = store.LastError();
      return false;
    }
    return true;
  }
  std::vector<TInUnitV4*> Channels()
  {
    std::vector<TInUnitV4*> out;
    auto lock = Params.ReadLock();
    int u = -1;
    int c = -1;
    for (TInUnitV4* ch = Params.Units().FirstChannel(u, c, false, false); ch != nullptr;
         ch = Params.Units().NextChannel(u, c, false, false))
      out.push_back(ch);
    return out;
  }
};

std::unique_ptr<TValueGenerator> DemoGenerator(TLoaded& loaded, quint64 seed, qint64 periodMs)
{
  auto gen = std::make_unique<TValueGenerator>(seed, periodMs);
  auto lock = loaded.Params.ReadLock();
  int u = -1;
  int c = -1;
  for (TInUnitV4* ch = loaded.Params.Units().FirstChannel(u, c, false, false); ch != nullptr;
       ch = loaded.Params.Units().NextChannel(u, c, false, false))
    gen->AddChannel(GenChannelOf(*ch));
  return gen;
}

TServerDocuments DemoDocuments()
{
  TServerDocuments docs;
  QString error;
  if (!ReadServerDocuments(DefaultDemoDir(), docs, &error))
    qFatal("demo documents missing: %s", qPrintable(error));
  return docs;
}

double At(int y, int m, int d, int h = 0, int min = 0)
{
  return DateTimeToDouble(QDate(y, m, d), QTime(h, min));
}

}  // namespace

class TstServerParts : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void documentsLoad_data();
  void documentsLoad();
  void generatorIsReproducible();
  void generatorDayShowsEvents();
  void seriesFileLayout();
  void historyIsWrittenOnce();
};

void TstServerParts::documentsLoad_data()
{
  QTest::addColumn<int>("units");  // 0: the demo installation
  QTest::addColumn<int>("channels");
  QTest::addColumn<int>("expectedUnits");
  QTest::addColumn<int>("expectedChannels");
  QTest::addColumn<int>("expectedGroups");
  QTest::newRow("demo") << 0 << 0 << 8 << 24 << 3;
  QTest::newRow("synthetic 125x8") << 125 << 8 << 125 << 1000 << 13;
  QTest::newRow("synthetic 3x5") << 3 << 5 << 3 << 15 << 1;
}

void TstServerParts::documentsLoad()
{
  QFETCH(int, units);
  QFETCH(int, channels);
  TServerOptions options;
  options.SyntheticUnits = units;
  options.SyntheticChannels = channels;
  TServerDocuments docs;
  QString error;
  QVERIFY2(LoadServerDocuments(options, docs, &error), qPrintable(error));
  // Whatever the server serves must fit in one record of the terminal.
  QVERIFY(docs.Types.size() <= qsizetype(kMaxPayload));
  QVERIFY(docs.Main.size() <= qsizetype(kMaxPayload));

  TLoaded loaded;
  QVERIFY2(loaded.Load(docs), qPrintable(loaded.Error));
  QTEST(loaded.Params.Units().Count(), "expectedUnits");
  QTEST(loaded.Params.Groups().Count(), "expectedGroups");
  const std::vector<TInUnitV4*> all = loaded.Channels();
  QTEST(static_cast<int>(all.size()), "expectedChannels");
  QSet<qint32> ids;
  int grouped = 0;
  for (const TInUnitV4* ch : all) {
    QVERIFY(ch->LogId > 0);
    ids.insert(ch->LogId);
    QVERIFY2(ch->Max > ch->Min, qPrintable(ch->Name));
    QVERIFY(!ch->Name.isEmpty() && !ch->PhUnit.isEmpty());
  }
  QCOMPARE(ids.size(), static_cast<qsizetype>(all.size()));
  int cursor = -1;
  for (TGroup* g = loaded.Params.Groups().FirstGroup(cursor); g != nullptr;
       g = loaded.Params.Groups().NextGroup(cursor))
    grouped += g->MemberCount();
  QCOMPARE(grouped, static_cast<int>(all.size()));
}

void TstServerParts::generatorIsReproducible()
{
  TLoaded loaded;
  QVERIFY(loaded.Load(DemoDocuments()));
  const auto a = DemoGenerator(loaded, 7, 5000);
  const auto b = DemoGenerator(loaded, 7, 5000);
  const auto other = DemoGenerator(loaded, 8, 5000);
  int differs = 0;
  const double start = At(2025, 6, 1, 12);
  for (int k = 0; k < 2000; ++k) {
    // Any time inside a period gives that period's event state.
    const double t = start + k * 5.0 / 86400.0 + 0.3 / 86400.0;
    for (int c = 0; c < a->ChannelCount(); ++c) {
      const TGenValue va = a->ValueAt(c, t);
      const TGenValue vb = b->ValueAt(c, t);
      QCOMPARE(va.ErrCode, vb.ErrCode);
      QCOMPARE(va.Value, vb.Value);
      if (other->ValueAt(c, t).Value != va.Value)
        ++differs;
    }
  }
  QVERIFY(differs > 1000);
}

void TstServerParts::generatorDayShowsEvents()
{
  TLoaded loaded;
  QVERIFY(loaded.Load(DemoDocuments()));
  const auto gen = DemoGenerator(loaded, 1, 5000);
  int deviceErrors = 0;
  int noAnswers = 0;
  int aboveMax = 0;
  int belowMin = 0;
  int samples = 0;
  const double start = At(2025, 6, 1);
  for (int k = 0; k < 86400 / 5; ++k) {
    const double t = start + k * 5.0 / 86400.0;
    for (int c = 0; c < gen->ChannelCount(); ++c) {
      const TGenChannel& ch = gen->Channel(c);
      const TGenValue v = gen->ValueAt(c, t);
      ++samples;
      if (v.ErrCode > 0) {
        QVERIFY2(ch.DeviceErrors.contains(v.ErrCode), "only codes the device type defines");
        ++deviceErrors;
      } else if (v.ErrCode == -1) {
        ++noAnswers;
      } else {
        QCOMPARE(v.ErrCode, 0);
        aboveMax += v.Value > ch.Max;
        belowMin += v.Value < ch.Min;
      }
    }
  }
  QVERIFY(deviceErrors > 0);
  QVERIFY(noAnswers > 0);
  QVERIFY(aboveMax > 0);
  QVERIFY(belowMin > 0);
  // Events stay occasional: the signal is still what one sees.
  QVERIFY(deviceErrors + noAnswers + aboveMax + belowMin < samples / 50);
}

void TstServerParts::seriesFileLayout()
{
  QTemporaryDir dir;
  const QVector<qint32> ids{4, -1, 9};
  QVector<TSeriesRow> rows(2);
  rows[0].Time = 45000.25;
  rows[0].Items = {{true, 21.5, 0}, {}, {true, -3.25, static_cast<qint32>(0x88000000u)}};
  rows[1].Time = 45000.5;
  rows[1].Items = {{true, 1e6, 0x0102}};  // missing items have no value
  for (const bool empty : {false, true}) {
    const QByteArray bytes = BuildSeriesFile(ids, empty ? QVector<TSeriesRow>() : rows);
    QCOMPARE(bytes.size(), 12 + 4 * 3 + (empty ? 0 : 2 * (8 + 24 * 3)));
    const QString path = dir.filePath(empty ? "empty.bin" : "rows.bin");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    TmeasMemStream stream(nullptr);
    QVERIFY2(stream.Open(path), qPrintable(stream.LastError()));
    QCOMPARE(stream.ColumnCount, 3u);
    QCOMPARE(stream.Ids, ids);
    QCOMPARE(stream.DataOffset, 24u);
    QCOMPARE(stream.RecordCount, empty ? 0u : 2u);
    if (empty)
      continue;
    TInUnitV4* channel = nullptr;
    double value = 0;
    qint32 status = 0;
    double time = 0;
    QCOMPARE(stream.ReadTime(1, time), 0);
    QCOMPARE(time, 45000.5);
    QCOMPARE(stream.ReadItem(0, 0, channel, value, status), 0);
    QCOMPARE(value, 21.5);
    QCOMPARE(stream.ReadItem(0, 1, channel, value, status), 1);
    QCOMPARE(stream.ReadItem(0, 2, channel, value, status), 0);
    QCOMPARE(quint32(status), 0x88000000u);
    QCOMPARE(value, -3.25);
    QCOMPARE(stream.ReadItem(1, 0, channel, value, status), 0);
    QCOMPARE(status, 0x0102);
    QCOMPARE(stream.ReadItem(1, 2, channel, value, status), 1);
  }
}

void TstServerParts::historyIsWrittenOnce()
{
  QTemporaryDir dir;
  const QString bases = dir.path() + QLatin1Char('/');
  TValueGenerator gen(3, 60000);
  gen.AddChannel({1, 0.0, 100.0, 10, {}});
  gen.AddChannel({2, -10.0, 10.0, 10, {5}});
  // Across a month end, so two files are written.
  const double from = At(2025, 1, 31, 23, 30);
  const double to = At(2025, 2, 1, 0, 30);
  THistoryStats stats;
  QString error;
  QVERIFY2(FillHistory(bases, gen, from, to, &stats, &error), qPrintable(error));
  QCOMPARE(stats.Times, qint64(60));
  QCOMPARE(stats.Rows, qint64(120));
  QVERIFY(QFile::exists(bases + "2025-01.mdb") && QFile::exists(bases + "2025-02.mdb"));

  // Half an hour more: only the new periods are written.
  QVERIFY(FillHistory(bases, gen, from, to + 30.0 / 1440.0, &stats, &error));
  QCOMPARE(stats.Times, qint64(30));
  QCOMPARE(stats.Skipped, qint64(60));

  TDBReadManODBC reader(bases);
  reader.PrepareMeasures({1, 2}, from, to + 1.0);
  int rows = 0;
  for (int rc = reader.FirstMeasure(); rc == 0; rc = reader.NextMeasure()) {
    TMeasureRec rec;
    reader.ReadMeasure(rec);
    QVERIFY(rec.Valid);
    const int column = rec.LogId - 1;
    const TGenValue expected = gen.ValueAt(column, rec.Time);
    if (expected.ErrCode == 0 && rec.ErrCode == 0)
      QCOMPARE(rec.Value, expected.Value);
    ++rows;
  }
  QCOMPARE(rows, 180);
}

QTEST_GUILESS_MAIN(TstServerParts)
#include "tst_serverParts.moc"
