#include "model/TypeListV4.h"
#include "model/typeXMLstor.h"

#include <QFile>
#include <QtTest>

class TstTypeXMLstor : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void initTestCase();
  void devices();
  void inputs_data();
  void inputs();
  void outputs();
  void errors();
  void noDevices_data();
  void noDevices();
  void refused_data();
  void refused();
  void encodings_data();
  void encodings();
  void loadTwiceDoubles();
  void regTypeCode_data();
  void regTypeCode();

 private:
  QByteArray m_fixture;
};

namespace {

const TTypeV4* TypeAt(const TTypeListV4& list, int index)
{
  int cursor = 0;
  const TTypeV4* type = list.FirstType(cursor);
  while (type && cursor < index)
    type = list.NextType(cursor);
  return type;
}

// A complete inUnit with the given SpcFnc text and optional Status element.
QByteArray InUnit(const QByteArray& spcFnc, bool withStatus = true)
{
  return "<inUnit IDReg=\"1\"><Name>n</Name><PhUnit>u</PhUnit>"
         "<Reg Register=\"1\"><RegType>SINT16</RegType><SpcFnc>" +
         spcFnc + "</SpcFnc></Reg>" +
         (withStatus ? QByteArray("<Status StatReg=\"0\"><StatRegM>0</StatRegM></Status>")
                     : QByteArray()) +
         "<Multiplier>1</Multiplier><Point><IsProgPoint>1</IsProgPoint><PointReg>0</PointReg>"
         "<PointRegM>0</PointRegM><PointValue>1</PointValue><CanChange>0</CanChange></Point>"
         "</inUnit>";
}

QByteArray Device(const QByteArray& id, const QByteArray& name, const QByteArray& body = {})
{
  return "<Device id=\"" + id + "\"><MBusID>1</MBusID><MBusIDM_ORA>-1</MBusIDM_ORA><Name>" + name +
         "</Name>" + body + "</Device>";
}

}  // namespace

void TstTypeXMLstor::initTestCase()
{
  QFile file(QStringLiteral(DRAVOLUX_TEST_DATA "/data/types.xml"));
  QVERIFY(file.open(QIODevice::ReadOnly));
  m_fixture = file.readAll();
}

void TstTypeXMLstor::devices()
{
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(m_fixture, list), 0);
  QVERIFY2(reader.LastError().isEmpty(), qPrintable(reader.LastError()));
  QCOMPARE(list.Count(), 3);

  const TTypeV4* t1 = TypeAt(list, 0);
  QCOMPARE(t1->Id, 1);
  QCOMPARE(t1->MBusID, 6699);  // 0x1A2B
  QCOMPARE(t1->MBusIDM_ORA, -1);
  QCOMPARE(t1->Name, QStringLiteral("Temperatura zewnętrzna"));
  QCOMPARE(int(t1->InRegs().size()), 9);  // <InUnit> differs in case and is not an input
  QCOMPARE(int(t1->OutRegs().size()), 2);
  QVERIFY(t1->OtherRegs().empty());

  // Single elements and attributes are found without regard to letter case.
  const TTypeV4* t2 = TypeAt(list, 1);
  QCOMPARE(t2->Id, 2);
  QCOMPARE(t2->MBusID, 6699);     // $1A2B
  QCOMPARE(t2->MBusIDM_ORA, -1);  // "abc"
  QCOMPARE(t2->Name, QStringLiteral("Durchfluß"));
  QCOMPARE(int(t2->InRegs().size()), 1);
  QCOMPARE(t2->InRegs()[0]->Name, QStringLiteral("Q"));
  QCOMPARE(t2->InRegs()[0]->IDReg, 1);
  QCOMPARE(t2->InRegs()[0]->Register, 0x10u);
  QCOMPARE(t2->InRegs()[0]->SpcFnc, 7);  // leading blank accepted
  QCOMPARE(t2->InRegs()[0]->Multiplier, 0.001);

  const TTypeV4* t0 = TypeAt(list, 2);
  QCOMPARE(t0->Id, 0);
  QCOMPARE(t0->MBusID, 6699);
  QCOMPARE(t0->MBusIDM_ORA, 0xFF00);
  QCOMPARE(t0->Name, QStringLiteral("Generic <fallback>"));
  QVERIFY(list.FindType(77) == t0);
}

void TstTypeXMLstor::inputs_data()
{
  QTest::addColumn<int>("index");
  QTest::addColumn<int>("idReg");
  QTest::addColumn<uint>("reg");
  QTest::addColumn<int>("regCount");
  QTest::addColumn<int>("regType");
  QTest::addColumn<int>("spcFnc");
  QTest::addColumn<int>("statReg");
  QTest::addColumn<int>("statRegM");
  QTest::addColumn<double>("multiplier");
  QTest::addColumn<bool>("isProgPoint");
  QTest::addColumn<int>("pointReg");
  QTest::addColumn<int>("pointRegM");
  QTest::addColumn<int>("pointValue");
  QTest::addColumn<bool>("canChange");

  QTest::newRow("SINT16") << 0 << 1 << 100u << 1 << RegTypeSINT16 << 0 << 200 << 0xFF << 1.0 << true
                          << 300 << 0 << 10 << true;
  QTest::newRow("UINT16") << 1 << 2 << 101u << 1 << RegTypeUINT16 << 16 << 0 << -1 << 0.25 << true
                          << 0 << 0 << 1 << false;
  QTest::newRow("SINT32") << 2 << 3 << 102u << 2 << RegTypeSINT32 << -2 << -1 << 0 << 2.5 << false
                          << 310 << 15 << 100 << false;
  QTest::newRow("UINT32") << 3 << 4 << 104u << 2 << RegTypeUINT32 << 0x7FFFFFFF << 0 << 0 << 1.0
                          << true << 0 << 0 << 1000 << true;
  QTest::newRow("SINT48") << 4 << 5 << 106u << 3 << RegTypeSINT48 << 0 << 0 << 0 << 1.0 << true << 0
                          << 0 << 1 << false;
  QTest::newRow("UINT48") << 5 << 6 << 109u << 3 << RegTypeUINT48 << 0 << 0 << 0 << 1.0 << true << 0
                          << 0 << 1 << false;
  QTest::newRow("SINT64") << 6 << 7 << 112u << 4 << RegTypeSINT64 << 0 << 0 << 0 << 1.0 << true << 0
                          << 0 << 1 << false;
  QTest::newRow("UINT64") << 7 << 8 << 116u << 4 << RegTypeUINT64 << 0 << 0 << 0 << 1.0 << true << 0
                          << 0 << 1 << false;
  QTest::newRow("lower-case uint16 unknown, Multiplier abc")
      << 8 << 9 << 0xFFFFu << 15 << RegTypeUnknownIn << 0 << 0 << 0 << 0.0 << true << 0 << 0 << 1
      << false;
}

void TstTypeXMLstor::inputs()
{
  QFETCH(int, index);
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(m_fixture, list), 0);
  const TPomRegV4* r = TypeAt(list, 0)->InRegs().at(size_t(index)).get();
  QTEST(int(r->IDReg), "idReg");
  QTEST(uint(r->Register), "reg");
  QTEST(int(r->RegCount), "regCount");
  QTEST(int(r->RegType), "regType");
  QTEST(int(r->SpcFnc), "spcFnc");
  QTEST(int(r->StatReg), "statReg");
  QTEST(int(r->StatRegM), "statRegM");
  QTEST(r->Multiplier, "multiplier");
  QTEST(r->IsProgPoint, "isProgPoint");
  QTEST(int(r->PointReg), "pointReg");
  QTEST(int(r->PointRegM), "pointRegM");
  QTEST(int(r->PointValue), "pointValue");
  QTEST(r->CanChange, "canChange");
}

void TstTypeXMLstor::outputs()
{
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(m_fixture, list), 0);
  const TTypeV4* t1 = TypeAt(list, 0);
  int cursor = 0;
  const TOutRegV4* o = t1->FirstOutReg(cursor);
  QCOMPARE(o->IDReg, 1);
  QCOMPARE(o->Register, 500);
  QCOMPARE(o->RegType, RegTypeUINT16);
  QCOMPARE(o->RegCount, 1);
  QCOMPARE(o->IfPoint, true);
  QCOMPARE(o->PointReg, 501);
  QCOMPARE(o->PointRegM, 0xFF00);
  o = t1->NextOutReg(cursor);
  // Unknown names stay -1 on outputs; their count 0xFFFF marks them unusable.
  QCOMPARE(o->RegType, -1);
  QCOMPARE(o->RegCount, 0xFFFF);
  QCOMPARE(o->IfPoint, false);
  QCOMPARE(o->PointRegM, -1);
  QVERIFY(t1->NextOutReg(cursor) == nullptr);
}

void TstTypeXMLstor::errors()
{
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(m_fixture, list), 0);
  const TTypeV4* t1 = TypeAt(list, 0);
  QCOMPARE(int(t1->Errors().size()), 8);
  // IDErr is replaced by the position; an absent IDErr loads as well.
  QList<int> numbers;
  for (const auto& e : t1->Errors())
    numbers << e->Number;
  QCOMPARE(numbers, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8}));
  QCOMPARE(t1->Errors()[5]->ErrCode, 0xFF01);
  QCOMPARE(t1->Errors()[5]->ErrCodeM_OR, 0xFF00);

  QCOMPARE(t1->FindError(-1, 1)->Desc, QStringLiteral("???"));
  QCOMPARE(t1->ErrorIndex(-1)->Desc, QStringLiteral("document no answer"));
  QCOMPARE(t1->FindError(0x100, 1)->Desc, QStringLiteral("sensor break"));
  QCOMPARE(t1->FindError(0x0001, 1)->Desc, QStringLiteral("short circuit"));
  QCOMPARE(t1->FindError(4, 1)->Desc, QStringLiteral("overrange & clipped"));
  QCOMPARE(t1->ErrorIndex(4)->Desc, QStringLiteral("second entry for 4"));

  // Without Errors, and with an empty Errors element: only the built-ins.
  for (int i : {1, 2}) {
    const TTypeV4* t = TypeAt(list, i);
    QCOMPARE(int(t->Errors().size()), 3);
    QCOMPARE(t->FindError(-4, 1)->Desc, QStringLiteral("! > MAX"));
  }
}

void TstTypeXMLstor::noDevices_data()
{
  QTest::addColumn<QByteArray>("document");
  QTest::newRow("empty root") << QByteArray("<Types/>");
  QTest::newRow("other children only") << QByteArray("<Types><device id=\"1\"/><Info/></Types>");
}

void TstTypeXMLstor::noDevices()
{
  QFETCH(QByteArray, document);
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(document, list), 0);
  QCOMPARE(list.Count(), 0);
}

void TstTypeXMLstor::refused_data()
{
  QTest::addColumn<QByteArray>("document");
  QTest::addColumn<QString>("reason");  // a fragment of LastError()

  const QByteArray good = Device("5", "good", InUnit("0"));
  QTest::newRow("missing Status") << "<T>" + good + Device("6", "bad", InUnit("0", false)) + "</T>"
                                  << "Status";
  QTest::newRow("SpcFnc decimal") << "<T>" + Device("6", "bad", InUnit("1.5")) + "</T>"
                                  << "SpcFnc";
  QTest::newRow("SpcFnc empty") << "<T>" + Device("6", "bad", InUnit("")) + "</T>"
                                << "SpcFnc";
  QTest::newRow("SpcFnc beyond 32 bits")
      << "<T>" + Device("6", "bad", InUnit("2147483648")) + "</T>"
      << "SpcFnc";
  QTest::newRow("missing Device id")
      << QByteArray(
             "<T><Device><MBusID>1</MBusID><MBusIDM_ORA>1</MBusIDM_ORA><Name>x</Name>"
             "</Device></T>")
      << "\"id\"";
  QTest::newRow("missing MBusIDM_ORA")
      << QByteArray("<T><Device id=\"1\"><MBusID>1</MBusID><Name>x</Name></Device></T>")
      << "MBusIDM_ORA";
  QTest::newRow("missing Desc")
      << "<T>" +
             Device("6", "bad",
                    "<Errors><Error><ErrCode>1</ErrCode><ErrCodeM_OR>0</ErrCodeM_OR></Error>"
                    "</Errors>") +
             "</T>"
      << "Desc";
  QTest::newRow("missing outUnit Point")
      << "<T>" +
             Device("6", "bad",
                    "<outUnit IDReg=\"1\"><Reg Register=\"1\"><RegType>UINT16</RegType></Reg>"
                    "</outUnit>") +
             "</T>"
      << "Point";
  QTest::newRow("broken XML") << "<T>" + good << "XML error";
  QTest::newRow("mismatched tags")
      << QByteArray("<T><Device id=\"1\"></T></Device>") << "XML error";
  QTest::newRow("empty document") << QByteArray() << "";
  QTest::newRow("too deep nesting")
      << "<T>" + good + QByteArray("<a>").repeated(100) + QByteArray("</a>").repeated(100) + "</T>"
      << "nested deeper";
}

void TstTypeXMLstor::refused()
{
  QFETCH(QByteArray, document);
  QFETCH(QString, reason);
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(m_fixture, list), 0);
  const TTypeV4* first = TypeAt(list, 0);
  const TTypeV4* last = TypeAt(list, 2);

  QCOMPARE(reader.Load(document, list), -1);
  QVERIFY(!reader.LastError().isEmpty());
  QVERIFY2(reader.LastError().contains(reason), qPrintable(reader.LastError()));
  // Nothing of the refused document reaches the list, not even the types read
  // before the fault.
  QCOMPARE(list.Count(), 3);
  QCOMPARE(TypeAt(list, 0), first);
  QCOMPARE(TypeAt(list, 2), last);
  QCOMPARE(list.FindType(5), list.FindType(0));

  // The reader stays usable after a refusal.
  QCOMPARE(reader.Load("<T>" + Device("8", "after") + "</T>", list), 0);
  QVERIFY(reader.LastError().isEmpty());
  QCOMPARE(list.Count(), 4);
}

void TstTypeXMLstor::encodings_data()
{
  QTest::addColumn<QByteArray>("document");
  QTest::addColumn<QString>("name");

  const QString name = QStringLiteral("Temperatura zewnętrzna Durchfluß");
  // ę is 0xEA and ß is 0xDF in Windows-1250.
  const QByteArray cp1250 = "Temperatura zewn\xEAtrzna Durchflu\xDF";
  QTest::newRow("UTF-8 without declaration") << "<T>" + Device("1", name.toUtf8()) + "</T>" << name;
  QTest::newRow("Windows-1250 without declaration") << "<T>" + Device("1", cp1250) + "</T>" << name;
  QTest::newRow("Windows-1250 declared as UTF-8")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><T>" + Device("1", cp1250) + "</T>" << name;
  QTest::newRow("Windows-1250 declared")
      << "<?xml version=\"1.0\" encoding=\"windows-1250\"?><T>" + Device("1", cp1250) + "</T>"
      << name;
  QString utf16Text = QStringLiteral("<T>") + QString::fromUtf8(Device("1", name.toUtf8())) +
                      QStringLiteral("</T>");
  QByteArray utf16("\xFF\xFE");
  utf16.append(reinterpret_cast<const char*>(utf16Text.utf16()), utf16Text.size() * 2);
  QTest::newRow("UTF-16LE with BOM") << utf16 << name;
}

void TstTypeXMLstor::encodings()
{
  QFETCH(QByteArray, document);
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(document, list), 0);
  QCOMPARE(list.Count(), 1);
  int cursor = 0;
  QTEST(list.FirstType(cursor)->Name, "name");
}

void TstTypeXMLstor::loadTwiceDoubles()
{
  TTypeListV4 list;
  TtypeXMLstor reader;
  QCOMPARE(reader.Load(m_fixture, list), 0);
  QCOMPARE(reader.Load(m_fixture, list), 0);
  QCOMPARE(list.Count(), 6);
  QVERIFY(list.FindType(1) == TypeAt(list, 0));
  QCOMPARE(TypeAt(list, 3)->Id, 1);
  QVERIFY(TypeAt(list, 3) != TypeAt(list, 0));
}

void TstTypeXMLstor::regTypeCode_data()
{
  QTest::addColumn<QString>("name");
  QTest::addColumn<int>("code");
  QTest::newRow("SINT16") << "SINT16" << 0x00001;
  QTest::newRow("UINT16") << "UINT16" << 0x10001;
  QTest::newRow("SINT32") << "SINT32" << 0x20002;
  QTest::newRow("UINT32") << "UINT32" << 0x30002;
  QTest::newRow("SINT48") << "SINT48" << 0x40003;
  QTest::newRow("UINT48") << "UINT48" << 0x50003;
  QTest::newRow("SINT64") << "SINT64" << 0x60004;
  QTest::newRow("UINT64") << "UINT64" << 0x70004;
  QTest::newRow("lower case") << "uint16" << -1;
  QTest::newRow("blank around") << " UINT16" << -1;
  QTest::newRow("empty") << "" << -1;
}

void TstTypeXMLstor::regTypeCode()
{
  QFETCH(QString, name);
  QTEST(int(TtypeXMLstor::RegTypeCode(name)), "code");
}

QTEST_GUILESS_MAIN(TstTypeXMLstor)
#include "tst_typeXMLstor.moc"
