#include "model/TypeListV4.h"
#include "model/TypeUnitV4.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TstTypeUnit : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void decodeRegisters_data();
  void decodeRegisters();
  void exceptionWord_data();
  void exceptionWord();
  void pointDivisor_data();
  void pointDivisor();
  void scaleValue_data();
  void scaleValue();
  void checkLimits_data();
  void checkLimits();
  void builtInErrors();
  void findError_data();
  void findError();
  void findType();
  void findTypeByMBusID_data();
  void findTypeByMBusID();
  void appendMovesWholeList();
};

void TstTypeUnit::decodeRegisters_data()
{
  QTest::addColumn<int>("code");
  QTest::addColumn<QList<int>>("words");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<double>("expected");

  QTest::newRow("SINT16 -1") << RegTypeSINT16 << QList<int>{0xFFFF} << true << -1.0;
  QTest::newRow("SINT16 max") << RegTypeSINT16 << QList<int>{0x7FFF} << true << 32767.0;
  QTest::newRow("UINT16 0xFFFF") << RegTypeUINT16 << QList<int>{0xFFFF} << true << 65535.0;
  QTest::newRow("SINT32 -2") << RegTypeSINT32 << QList<int>{0xFFFF, 0xFFFE} << true << -2.0;
  QTest::newRow("UINT32 high word first")
      << RegTypeUINT32 << QList<int>{0xFFFF, 0xFFFE} << true << 4294967294.0;
  QTest::newRow("UINT48") << RegTypeUINT48 << QList<int>{0x0001, 0x0000, 0x0002} << true
                          << 4294967298.0;
  QTest::newRow("UINT48 max") << RegTypeUINT48 << QList<int>{0xFFFF, 0xFFFF, 0xFFFF} << true
                              << 281474976710655.0;
  QTest::newRow("SINT48 -2") << RegTypeSINT48 << QList<int>{0xFFFF, 0xFFFF, 0xFFFE} << true << -2.0;
  QTest::newRow("SINT48 max") << RegTypeSINT48 << QList<int>{0x7FFF, 0xFFFF, 0xFFFF} << true
                              << 140737488355327.0;
  QTest::newRow("SINT48 min") << RegTypeSINT48 << QList<int>{0x8000, 0x0000, 0x0000} << true
                              << -140737488355328.0;
  QTest::newRow("SINT64 -1") << RegTypeSINT64 << QList<int>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF} << true
                             << -1.0;
  QTest::newRow("SINT64 min") << RegTypeSINT64 << QList<int>{0x8000, 0, 0, 0} << true
                              << -9223372036854775808.0;
  QTest::newRow("UINT64 max") << RegTypeUINT64 << QList<int>{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF} << true
                              << 18446744073709551615.0;
  QTest::newRow("UINT64 above 2^53 loses low bit")
      << RegTypeUINT64 << QList<int>{0x0020, 0x0000, 0x0000, 0x0001} << true << 9007199254740992.0;
  QTest::newRow("extra words ignored")
      << RegTypeSINT16 << QList<int>{0xFFFE, 0x1234} << true << -2.0;
  QTest::newRow("status word unsigned") << RegTypeStatus << QList<int>{0x8001} << true << 32769.0;
  QTest::newRow("point word") << RegTypePoint << QList<int>{3} << true << 3.0;
  QTest::newRow("SINT32 short answer") << RegTypeSINT32 << QList<int>{0xFFFF} << false << 0.0;
  QTest::newRow("UINT64 short answer") << RegTypeUINT64 << QList<int>{1, 2, 3} << false << 0.0;
  QTest::newRow("no words") << RegTypeSINT16 << QList<int>{} << false << 0.0;
  QTest::newRow("unknown type on an input")
      << RegTypeUnknownIn << QList<int>(15, 1) << false << 0.0;
  QTest::newRow("unknown code -1") << RegTypeUnknown << QList<int>(15, 1) << false << 0.0;
}

void TstTypeUnit::decodeRegisters()
{
  QFETCH(int, code);
  QFETCH(QList<int>, words);
  QFETCH(bool, ok);
  QFETCH(double, expected);
  std::vector<quint16> w;
  for (int word : words)
    w.push_back(quint16(word));
  const double untouched = 12345.0;
  double value = untouched;
  QCOMPARE(DecodeRegisters(code, w.data(), int(w.size()), value), ok);
  if (ok)
    QCOMPARE(value, expected);
  else
    QCOMPARE(value, untouched);
}

void TstTypeUnit::exceptionWord_data()
{
  QTest::addColumn<int>("code");
  QTest::addColumn<int>("word");
  QTest::addColumn<int>("expected");
  QTest::newRow("UINT16 0x8000 negative") << RegTypeUINT16 << 0x8000 << -32768;
  QTest::newRow("UINT16 0xFFFF") << RegTypeUINT16 << 0xFFFF << -1;
  QTest::newRow("UINT16 small") << RegTypeUINT16 << 0x0002 << 2;
  QTest::newRow("SINT16 0x8000 unsigned") << RegTypeSINT16 << 0x8000 << 32768;
  QTest::newRow("UINT32 0xFFFF unsigned") << RegTypeUINT32 << 0xFFFF << 65535;
  QTest::newRow("SINT64 0x8001") << RegTypeSINT64 << 0x8001 << 32769;
}

void TstTypeUnit::exceptionWord()
{
  QFETCH(int, code);
  QFETCH(int, word);
  QTEST(ExceptionWordCode(code, quint16(word)), "expected");
}

void TstTypeUnit::pointDivisor_data()
{
  QTest::addColumn<int>("word");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<int>("pointValue");
  QTest::newRow("0 gives 1") << 0 << true << 1;
  QTest::newRow("3 gives 1000") << 3 << true << 1000;
  QTest::newRow("9 still fits") << 9 << true << 1000000000;
  QTest::newRow("10 refused") << 10 << false << -7;
  QTest::newRow("0xFFFF refused") << 0xFFFF << false << -7;
}

void TstTypeUnit::pointDivisor()
{
  QFETCH(int, word);
  QFETCH(bool, ok);
  qint32 pointValue = -7;
  QCOMPARE(PointDivisor(quint16(word), pointValue), ok);
  QTEST(pointValue, "pointValue");
}

void TstTypeUnit::scaleValue_data()
{
  QTest::addColumn<double>("raw");
  QTest::addColumn<double>("multiplier");
  QTest::addColumn<double>("divisor");
  QTest::addColumn<double>("expected");
  QTest::newRow("program point 100") << 2345.0 << 1.0 << 100.0 << 23.45;
  QTest::newRow("point register 3") << 2345.0 << 1.0 << 1000.0 << 2.345;
  QTest::newRow("multiplier then divisor") << 10.0 << 2.5 << 10.0 << 2.5;
  QTest::newRow("divisor 0 skipped") << 7.0 << 0.5 << 0.0 << 3.5;
  QTest::newRow("multiplier 0 (not a number)") << 7.0 << 0.0 << 1.0 << 0.0;
  QTest::newRow("negative raw") << -2.0 << 1.0 << 1.0 << -2.0;
}

void TstTypeUnit::scaleValue()
{
  QFETCH(double, raw);
  QFETCH(double, multiplier);
  QFETCH(double, divisor);
  QTEST(ScaleValue(raw, multiplier, divisor), "expected");
}

void TstTypeUnit::checkLimits_data()
{
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  QTest::addColumn<double>("value");
  QTest::addColumn<double>("min");
  QTest::addColumn<double>("max");
  QTest::addColumn<int>("errIn");
  QTest::addColumn<int>("errOut");
  QTest::newRow("inside") << 5.0 << 0.0 << 10.0 << 0 << 0;
  QTest::newRow("at max") << 10.0 << 0.0 << 10.0 << 0 << 0;
  QTest::newRow("at min") << 0.0 << 0.0 << 10.0 << 0 << 0;
  QTest::newRow("above max") << 10.5 << 0.0 << 10.0 << 0 << -4;
  QTest::newRow("below min") << -0.5 << 0.0 << 10.0 << 0 << -3;
  QTest::newRow("infinity") << inf << 0.0 << 10.0 << 0 << -4;
  QTest::newRow("min=max=0, zero") << 0.0 << 0.0 << 0.0 << 0 << 0;
  QTest::newRow("min=max=0, positive") << 1.0 << 0.0 << 0.0 << 0 << -4;
  QTest::newRow("min=max=0, negative") << -1.0 << 0.0 << 0.0 << 0 << -3;
  QTest::newRow("inverted, between") << 5.0 << 10.0 << 0.0 << 0 << -3;
  QTest::newRow("inverted, above both") << 11.0 << 10.0 << 0.0 << 0 << -4;
  QTest::newRow("inverted, below both") << -1.0 << 10.0 << 0.0 << 0 << -3;
  QTest::newRow("NaN") << nan << 0.0 << 10.0 << 0 << -3;
  QTest::newRow("no answer kept") << 50.0 << 0.0 << 10.0 << -1 << -1;
  QTest::newRow("device error kept") << -50.0 << 0.0 << 10.0 << 7 << 7;
}

void TstTypeUnit::checkLimits()
{
  QFETCH(double, value);
  QFETCH(double, min);
  QFETCH(double, max);
  QFETCH(int, errIn);
  qint32 errCode = errIn;
  CheckLimits(value, min, max, errCode);
  QTEST(int(errCode), "errOut");
}

void TstTypeUnit::builtInErrors()
{
  TTypeV4 type(42);
  QCOMPARE(type.Id, 42);
  const QStringList descs{"! < MIN", "! > MAX", "???"};
  const QList<int> codes{-3, -4, -1};
  int cursor = 0;
  int n = 0;
  for (const TErrorV4* e = type.FirstError(cursor); e; e = type.NextError(cursor), ++n) {
    QVERIFY(n < 3);
    QCOMPARE(e->Number, n + 1);
    QCOMPARE(e->ErrCode, codes[n]);
    QCOMPARE(e->ErrCodeM_OR, 0);
    QCOMPARE(e->Desc, descs[n]);
  }
  QCOMPARE(n, 3);
  QCOMPARE(type.FindError(-4, 1)->Desc, QStringLiteral("! > MAX"));

  // A document entry for -1 comes after the built-in, so the lookup keeps
  // answering "???", while the index holds the newer entry.
  type.AddError(std::make_unique<TErrorV4>(-1, -1, "doc"));
  QCOMPARE(type.Errors().back()->Number, 4);
  QCOMPARE(type.FindError(-1, 1)->Number, 3);
  QCOMPARE(type.ErrorIndex(-1)->Desc, QStringLiteral("doc"));
  QVERIFY(type.ErrorIndex(12345) == nullptr);
}

namespace {

// Entries after the built-ins as a device type document might define them.
std::unique_ptr<TTypeV4> MaskedType()
{
  auto type = TTypeV4::Create(1);
  type->AddError(std::make_unique<TErrorV4>(-1, -1, "doc no answer"));
  type->AddError(std::make_unique<TErrorV4>(0x01FF, 0xFF, "break"));
  type->AddError(std::make_unique<TErrorV4>(0xFF01, 0xFF00, "short"));
  type->AddError(std::make_unique<TErrorV4>(0x0F0F, 0x0F00, "plain pattern"));
  type->AddError(std::make_unique<TErrorV4>(4, 0, "four"));
  type->AddError(std::make_unique<TErrorV4>(4, 0, "four again"));
  type->AddError(std::make_unique<TErrorV4>(255, -1, "no value"));
  return type;
}

// Entries whose match depends on the channel's bit pair: the masked code stays
// non-negative only when the pair does not reach bit 31.
std::unique_ptr<TTypeV4> NegativePatternType()
{
  auto type = TTypeV4::Create(2);
  type->AddError(std::make_unique<TErrorV4>(-1, 0xFF, "neg via 0xFF"));
  type->AddError(std::make_unique<TErrorV4>(-1, 0xFF00, "neg via 0xFF00"));
  return type;
}

}  // namespace

void TstTypeUnit::findError_data()
{
  QTest::addColumn<bool>("negativeType");
  QTest::addColumn<int>("code");
  QTest::addColumn<int>("logId");
  QTest::addColumn<QString>("desc");  // empty: no entry

  QTest::newRow("-1 built-in first") << false << -1 << 1 << "???";
  QTest::newRow("-3") << false << -3 << 1 << "! < MIN";
  QTest::newRow("-4") << false << -4 << 7 << "! > MAX";
  QTest::newRow("-2 nothing") << false << -2 << 1 << "";
  QTest::newRow("0 nothing") << false << 0 << 1 << "";
  QTest::newRow("0xFF pattern") << false << 0x100 << 1 << "break";
  QTest::newRow("pattern bits ignored") << false << 0x1FF << 5 << "break";
  QTest::newRow("0xFF00 pattern") << false << 0x0001 << 1 << "short";
  QTest::newRow("other pattern") << false << 0x000F << 3 << "plain pattern";
  QTest::newRow("duplicate code: first") << false << 4 << 1 << "four";
  QTest::newRow("255 compared unchanged") << false << 255 << 1 << "no value";
  QTest::newRow("unknown code") << false << 1000 << 1 << "";

  const int highFF00 = static_cast<qint32>(0xFFFF00FFu);
  QTest::newRow("neg, LogId 1") << true << -2 << 1 << "neg via 0xFF";
  QTest::newRow("neg, LogId 33 wraps to 1") << true << -2 << 33 << "neg via 0xFF";
  QTest::newRow("neg, LogId -31 wraps to 1") << true << -2 << -31 << "neg via 0xFF";
  QTest::newRow("neg, LogId 32 reaches bit 31") << true << -2 << 32 << "";
  QTest::newRow("neg, LogId 0 like 32") << true << -2 << 0 << "";
  QTest::newRow("neg 0xFF00, LogId 1") << true << highFF00 << 1 << "neg via 0xFF00";
  QTest::newRow("neg 0xFF00, LogId 32") << true << highFF00 << 32 << "";
  QTest::newRow("neg, -1 stays built-in") << true << -1 << 1 << "???";
}

void TstTypeUnit::findError()
{
  QFETCH(bool, negativeType);
  QFETCH(int, code);
  QFETCH(int, logId);
  QFETCH(QString, desc);
  const auto type = negativeType ? NegativePatternType() : MaskedType();
  const TErrorV4* e = type->FindError(code, logId);
  if (desc.isEmpty()) {
    QVERIFY2(e == nullptr, e ? qPrintable(e->Desc) : "");
  } else {
    QVERIFY(e != nullptr);
    QCOMPARE(e->Desc, desc);
  }
}

namespace {

std::unique_ptr<TTypeV4> Type(qint32 id, qint32 mbusId, qint32 mask)
{
  auto type = TTypeV4::Create(id);
  type->MBusID = mbusId;
  type->MBusIDM_ORA = mask;
  return type;
}

}  // namespace

void TstTypeUnit::findType()
{
  TTypeListV4 list;
  QVERIFY(list.FindType(0) == nullptr);
  list.Add(Type(5, 1, -1));
  QVERIFY2(list.FindType(7) == nullptr, "no type 0: nothing");
  list.Add(Type(0, 2, -1));
  list.Add(Type(5, 3, -1));
  QCOMPARE(list.Count(), 3);
  QCOMPARE(list.FindType(5)->MBusID, 1);
  QCOMPARE(list.FindType(7)->MBusID, 2);

  int cursor = 99;
  QList<int> seen;
  for (const TTypeV4* t = list.FirstType(cursor); t; t = list.NextType(cursor))
    seen << t->MBusID;
  QCOMPARE(seen, (QList<int>{1, 2, 3}));
  QCOMPARE(cursor, 3);
  QVERIFY(list.NextType(cursor) == nullptr);
}

void TstTypeUnit::findTypeByMBusID_data()
{
  QTest::addColumn<int>("devId");
  QTest::addColumn<int>("typeId");
  QTest::newRow("exact before a later masked match") << 0x1234 << 11;
  QTest::newRow("two masked matches: later") << 0x1235 << 12;
  QTest::newRow("exact after masked matches wins") << 0x1236 << 13;
  QTest::newRow("only the general mask") << 0x12FF << 10;
  QTest::newRow("OR pattern in the high half") << 0x3412 << 14;
  QTest::newRow("no match: type 0") << 0x9999 << 0;
  QTest::newRow("exact type 0") << 0x0001 << 0;
}

void TstTypeUnit::findTypeByMBusID()
{
  QFETCH(int, devId);
  TTypeListV4 list;
  list.Add(Type(10, 0x1200, 0xFF00));
  list.Add(Type(11, 0x1234, -1));
  list.Add(Type(12, 0x1230, 0xFFF0));
  list.Add(Type(13, 0x1236, -1));
  list.Add(Type(14, 0x50012, 0x000500FF));
  list.Add(Type(0, 0x0001, -1));
  const TTypeV4* type = list.FindTypeByMBusID(quint16(devId));
  QVERIFY(type != nullptr);
  QTEST(int(type->Id), "typeId");

  TTypeListV4 withoutFallback;
  withoutFallback.Add(Type(11, 0x1234, -1));
  QVERIFY(withoutFallback.FindTypeByMBusID(0x9999) == nullptr);
}

void TstTypeUnit::appendMovesWholeList()
{
  TTypeListV4 target;
  target.Add(Type(1, 1, -1));
  TTypeListV4 staged;
  staged.Add(Type(2, 2, -1));
  staged.Add(Type(3, 3, -1));
  const TTypeV4* moved = staged.FindType(3);
  target.Append(std::move(staged));
  QCOMPARE(target.Count(), 3);
  QCOMPARE(staged.Count(), 0);
  // The objects themselves move, so references taken before stay valid.
  QVERIFY(target.FindType(3) == moved);

  std::vector<std::unique_ptr<TTypeV4>> more;
  more.push_back(Type(4, 4, -1));
  target.AppendTypes(std::move(more));
  QCOMPARE(target.Count(), 4);
  int cursor = 0;
  QCOMPARE(target.FirstType(cursor)->Id, 1);
}

QTEST_GUILESS_MAIN(TstTypeUnit)
#include "tst_typeUnit.moc"
