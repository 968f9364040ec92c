// Series files as the server sends them: written in chunks, read record by
// record, and refused whole when the header does not add up.

#include "app/cmdParms.h"
#include "comm/measStream.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "storage/mainDBxml.h"
#include "plantFixture.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

template <typename T>
void Put(QByteArray& out, T value)
{
  char bytes[sizeof(T)];
  qToLittleEndian(value, bytes);
  out.append(bytes, sizeof(T));
}

struct TItem {
  bool HasValue;
  double Value;
  qint32 Status;
};

// A series of `ids` columns with one record per row of items.
QByteArray Series(const QVector<qint32>& ids, const QVector<QPair<double, QVector<TItem>>>& rows,
                  quint32 extraGap = 0)
{
  QByteArray out;
  const quint32 n = static_cast<quint32>(ids.size());
  Put<quint32>(out, n);
  Put<quint32>(out, 12 + 4 * n + extraGap);
  Put<quint32>(out, 8 + 24 * n);
  for (qint32 id : ids)
    Put<qint32>(out, id);
  out.append(QByteArray(static_cast<qsizetype>(extraGap), '\0'));
  for (const auto& [time, items] : rows) {
    Put<double>(out, time);
    for (const TItem& item : items) {
      out.append(item.HasValue ? '\1' : '\0');
      out.append(QByteArray(7, '\0'));
      Put<double>(out, item.Value);
      Put<qint32>(out, item.Status);
      out.append(QByteArray(4, '\0'));
    }
  }
  return out;
}

}  // namespace

class TstMeasStream : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void writtenInChunksAndRead();
  void refusesInconsistentHeaders_data();
  void refusesInconsistentHeaders();
  void truncatedRecordIsNotOffered();
};

void TstMeasStream::writtenInChunksAndRead()
{
  TConfig config(true);
  const QByteArray series =
      Series({1, 999}, {{45000.5, {{true, 21.5, 0}, {false, 7, 7}}},
                        {45000.75, {{true, -3.25, 0x10000000}, {true, 1e6, 0x20000000}}},
                        {45001.0, {{false, 0, static_cast<qint32>(0x88000000u)}, {true, 2, 4}}}},
             16);
  TmeasMemStream writer(&config.Params);
  writer.CreateFile();
  QVERIFY(QFileInfo(writer.FileName).fileName().startsWith(QStringLiteral("~CL")));
  // The server cuts the file into chunks of any size.
  for (qsizetype at = 0; at < series.size(); at += 37)
    QVERIFY(writer.Append(series.constData() + at, std::min<qsizetype>(37, series.size() - at)));
  writer.CloseFile();

  TmeasMemStream reader(&config.Params);
  QVERIFY2(reader.Open(writer.FileName), qPrintable(reader.LastError()));
  QCOMPARE(reader.ColumnCount, 2u);
  QCOMPARE(reader.RecordCount, 3u);
  QCOMPARE(reader.Ids, (QVector<qint32>{1, 999}));
  QCOMPARE(reader.Serie.GetIds(), (QVector<qint32>{1, -1}));  // 999 is no channel
  QCOMPARE(reader.Serie.Entries[0].Channel, config.Params.Units().FindInUnit(1));

  QCOMPARE(reader.ReadRecord(1), 0);
  QCOMPARE(reader.Serie.Entries[0].Time, 45000.75);
  QCOMPARE(reader.Serie.Entries[0].Value, -3.25);
  QCOMPARE(reader.Serie.Entries[1].Status, 0x20000000);
  QVERIFY(reader.Serie.Entries[1].HasValue);
  QCOMPARE(reader.ReadRecord(3), -1);

  double time = 0;
  QCOMPARE(reader.ReadTime(2, time), 0);
  QCOMPARE(time, 45001.0);
  TInUnitV4* channel = nullptr;
  double value = -1;
  qint32 status = -1;
  QCOMPARE(reader.ReadItem(0, 0, channel, value, status), 0);
  QCOMPARE(value, 21.5);
  QCOMPARE(channel, config.Params.Units().FindInUnit(1));
  QCOMPARE(reader.ReadItem(0, 1, channel, value, status), 1);  // no value: zeros
  QCOMPARE(value, 0.0);
  QCOMPARE(status, 0);
  QCOMPARE(reader.ReadItem(0, 2, channel, value, status), -1);
  QCOMPARE(reader.ReadItem(3, 0, channel, value, status), -1);
  QFile::remove(writer.FileName);
}

void TstMeasStream::refusesInconsistentHeaders_data()
{
  QTest::addColumn<QByteArray>("bytes");
  const QByteArray good = Series({1, 2}, {{1.0, {{true, 1, 0}, {true, 2, 0}}}});
  QTest::newRow("shorter than the header") << good.left(11);
  QByteArray tooMany = good;
  qToLittleEndian<quint32>(5000, tooMany.data());
  QTest::newRow("more columns than a request carries") << tooMany;
  QByteArray size = good;
  qToLittleEndian<quint32>(8 + 24 * 3, size.data() + 8);
  QTest::newRow("record size disagrees with the columns") << size;
  QByteArray inside = good;
  qToLittleEndian<quint32>(14, inside.data() + 4);
  QTest::newRow("data offset inside the id table") << inside;
  QByteArray past = good;
  qToLittleEndian<quint32>(0x7FFFFFFF, past.data() + 4);
  QTest::newRow("data offset past the end") << past;
  QTest::newRow("ids cut off") << good.left(16);
}

void TstMeasStream::refusesInconsistentHeaders()
{
  QFETCH(QByteArray, bytes);
  QTemporaryDir dir;
  const QString name = dir.filePath(QStringLiteral("series.bin"));
  QFile file(name);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  file.close();
  TmeasMemStream reader(nullptr);
  QVERIFY(!reader.Open(name));
  QVERIFY(!reader.LastError().isEmpty());
  QCOMPARE(reader.RecordCount, 0u);
  double time = 0;
  QCOMPARE(reader.ReadTime(0, time), -1);
}

void TstMeasStream::truncatedRecordIsNotOffered()
{
  const QByteArray full = Series({7}, {{1.0, {{true, 1, 0}}}, {2.0, {{true, 2, 0}}}}, 40);
  QTemporaryDir dir;
  const QString name = dir.filePath(QStringLiteral("series.bin"));
  QFile file(name);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(full.left(full.size() - 5));  // the last record lost its tail
  file.close();
  TmeasMemStream reader(nullptr);
  QVERIFY(reader.Open(name));
  QCOMPARE(reader.RecordCount, 1u);
  QCOMPARE(reader.ReadRecord(0), 0);
  QCOMPARE(reader.Serie.Entries[0].Value, 1.0);
  QCOMPARE(reader.ReadRecord(1), -1);
}

QTEST_GUILESS_MAIN(TstMeasStream)
#include "tst_measStream.moc"
