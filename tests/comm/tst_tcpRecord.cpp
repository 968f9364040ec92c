// Record framing and payloads of the server link: bytes arriving in any
// pieces give exactly the records sent, and no length or count from the
// network is trusted.

#include "comm/tcpRecord.h"

#include <QtEndian>
#include <QtTest>

class TstTcpRecord : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void recordsSurviveAnySplit();
  void oversizedRecordBreaksTheStream();
  void logOnPayloads();
  void seriesRequestLayout();
  void currentValues_data();
  void currentValues();
  void seriesChunks_data();
  void seriesChunks();
};

void TstTcpRecord::recordsSurviveAnySplit()
{
  QVector<TCurrentValue> values{{5, 45000.5, 21.25, 0}, {7, 45000.5, -1.5, -4}};
  const QByteArray stream = EncodeRecord(RecCurrentValues, CurrentValuesPayload(values)) +
                            EncodeRecord(RecTypeDefinitions) +
                            EncodeRecord(RecMainDefinitions, QByteArray(1000, 'x'));
  for (int piece : {1, 3, 5, 64, 4096}) {
    TRecordReader reader;
    QVector<TRecord> records;
    for (qsizetype at = 0; at < stream.size(); at += piece) {
      reader.Append(stream.mid(at, piece));
      bool broken = false;
      while (auto record = reader.Next(&broken))
        records.push_back(*record);
      QVERIFY(!broken);
    }
    QCOMPARE(records.size(), 3);
    QCOMPARE(records[0].Type, quint8(RecCurrentValues));
    QVector<TCurrentValue> parsed;
    QVERIFY(ParseCurrentValues(records[0].Data, parsed));
    QCOMPARE(parsed.size(), 2);
    QCOMPARE(parsed[1].ErrCode, -4);
    QCOMPARE(parsed[0].Value, 21.25);
    QCOMPARE(records[1].Data.size(), 0);
    QCOMPARE(records[2].Data, QByteArray(1000, 'x'));
    QCOMPARE(reader.Buffered(), 0);
  }
}

void TstTcpRecord::oversizedRecordBreaksTheStream()
{
  QByteArray header(5, '\0');
  header[0] = 3;
  qToLittleEndian<quint32>(kMaxRecordPayload + 1, header.data() + 1);
  TRecordReader reader;
  reader.Append(header);
  bool broken = false;
  QVERIFY(!reader.Next(&broken));
  QVERIFY(broken);
  QVERIFY(!reader.Error().isEmpty());
}

void TstTcpRecord::logOnPayloads()
{
  const QByteArray logOn = LogOnPayload(3, 1, 0, 0);
  QCOMPARE(logOn.size(), 17);
  QCOMPARE(qFromLittleEndian<quint16>(logOn.constData()), quint16(3));
  QCOMPARE(qFromLittleEndian<quint16>(logOn.constData() + 2), quint16(1));
  QCOMPARE(logOn.mid(4), QByteArray(13, '\0'));

  QCOMPARE(ParseLogOnAnswer(QByteArray(15, '\0')), std::optional<bool>());
  QCOMPARE(ParseLogOnAnswer(QByteArray(16, '\0')), std::optional<bool>(true));
  QByteArray refused(16, '\0');
  refused[12] = 1;
  QCOMPARE(ParseLogOnAnswer(refused), std::optional<bool>(false));

  QCOMPARE(ParseLogOnAnswer(LogOnAnswerPayload(true)), std::optional<bool>(true));
  QCOMPARE(ParseLogOnAnswer(LogOnAnswerPayload(false)), std::optional<bool>(false));
  const auto version = ParseLogOn(logOn);
  QVERIFY(version && version->Major == 3 && version->Minor == 1 && version->Build == 0);
  QVERIFY(!ParseLogOn(logOn.left(7)));
}

void TstTcpRecord::seriesRequestLayout()
{
  const auto payload = SeriesRequestPayload(45000.0, 45001.5, 0, {4, -1, 9});
  QVERIFY(payload);
  QCOMPARE(payload->size(), 21 + 4 * 3);
  QCOMPARE(qFromLittleEndian<double>(payload->constData() + 8), 45001.5);
  QCOMPARE(qFromLittleEndian<qint32>(payload->constData() + 17), 3);
  QCOMPARE(qFromLittleEndian<qint32>(payload->constData() + 25), -1);
  QVERIFY(!SeriesRequestPayload(0, 1, 0, QVector<qint32>(kMaxSeriesIds + 1, 1)));

  const auto parsed = ParseSeriesRequest(*payload);
  QVERIFY(parsed);
  QCOMPARE(parsed->From, 45000.0);
  QCOMPARE(parsed->To, 45001.5);
  QCOMPARE(parsed->Ids, QVector<qint32>({4, -1, 9}));
  // A count the payload does not carry, or beyond the request block, is refused.
  QVERIFY(!ParseSeriesRequest(payload->left(payload->size() - 1)));
  QByteArray negative = *payload;
  qToLittleEndian<qint32>(-2, negative.data() + 17);
  QVERIFY(!ParseSeriesRequest(negative));
  QByteArray wide(21 + 4 * (kMaxSeriesIds + 1), '\0');
  qToLittleEndian<qint32>(kMaxSeriesIds + 1, wide.data() + 17);
  QVERIFY(!ParseSeriesRequest(wide));
}

void TstTcpRecord::currentValues_data()
{
  QTest::addColumn<QByteArray>("payload");
  QTest::addColumn<int>("expected");  // entries read; -1: refused
  const QByteArray two = CurrentValuesPayload({{1, 2, 3, 0}, {4, 5, 6, 7}});
  QTest::newRow("two entries") << two << 2;
  QTest::newRow("extra bytes after the entries") << QByteArray(two + QByteArray(3, 'z')) << 2;
  QTest::newRow("zero entries") << CurrentValuesPayload({}) << 0;
  QTest::newRow("count larger than the payload") << two.left(two.size() - 1) << 1;
  QTest::newRow("no count") << QByteArray(3, '\0') << -1;
  QByteArray negative = two;
  qToLittleEndian<qint32>(-1, negative.data());
  QTest::newRow("negative count") << negative << 0;
  QByteArray wide(4 + 24 * 1002, '\0');
  qToLittleEndian<qint32>(1002, wide.data());
  QTest::newRow("more entries than one original buffer") << wide << 1002;
}

void TstTcpRecord::currentValues()
{
  QFETCH(QByteArray, payload);
  QFETCH(int, expected);
  QVector<TCurrentValue> values;
  QCOMPARE(ParseCurrentValues(payload, values), expected >= 0);
  QCOMPARE(values.size(), std::max(expected, 0));
  QCOMPARE(CurrentValueCount(payload), std::max(expected, 0));
}

void TstTcpRecord::seriesChunks_data()
{
  QTest::addColumn<QByteArray>("payload");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<bool>("last");
  QTest::addColumn<QByteArray>("data");
  auto chunk = [](bool last, quint32 length, const QByteArray& bytes) {
    QByteArray out(5, '\0');
    out[0] = last ? 1 : 0;
    qToLittleEndian<quint32>(length, out.data() + 1);
    return QByteArray(out + bytes);
  };
  QTest::newRow("middle chunk") << chunk(false, 3, "abc") << true << false << QByteArray("abc");
  QTest::newRow("last chunk") << chunk(true, 2, "abc") << true << true << QByteArray("ab");
  QTest::newRow("length beyond the payload") << chunk(true, 9, "abc") << false << false
                                             << QByteArray();
  QTest::newRow("no header") << QByteArray(4, '\1') << false << false << QByteArray();
}

void TstTcpRecord::seriesChunks()
{
  QFETCH(QByteArray, payload);
  QFETCH(bool, ok);
  QFETCH(QByteArray, data);
  bool last = false;
  QByteArray out;
  QCOMPARE(ParseSeriesChunk(payload, last, out), ok);
  if (ok) {
    QTEST(last, "last");
    QCOMPARE(out, data);
  }
}

QTEST_GUILESS_MAIN(TstTcpRecord)
#include "tst_tcpRecord.moc"
