#include "app/dateTimeDouble.h"
#include "model/baseXMLstor.h"

#include <QtTest>

#include <cmath>
#include <limits>

class TstBaseXML : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void xmlInt_data();
  void xmlInt();
  void xmlStrictInt_data();
  void xmlStrictInt();
  void xmlBool_data();
  void xmlBool();
  void xmlDecimal_data();
  void xmlDecimal();
  void decimalText_data();
  void decimalText();
  void dateTimeDouble_data();
  void dateTimeDouble();
  void formatUsDateTime_data();
  void formatUsDateTime();
  void parseUsDateTime_data();
  void parseUsDateTime();
  void tree();
  void requiredLookups();
  void encodings_data();
  void encodings();
  void refused_data();
  void refused();
};

void TstBaseXML::xmlInt_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<int>("value");  // XmlInt gives -1 when not ok

  QTest::newRow("decimal") << "6699" << true << 6699;
  QTest::newRow("0x") << "0x1A2B" << true << 6699;
  QTest::newRow("0X lower digits") << "0X1a2b" << true << 6699;
  QTest::newRow("$") << "$1A2B" << true << 6699;
  QTest::newRow("x") << "x1A2B" << true << 6699;
  QTest::newRow("X") << "X1A2B" << true << 6699;
  QTest::newRow("leading blanks") << " \t42" << true << 42;
  QTest::newRow("plus") << "+42" << true << 42;
  QTest::newRow("minus") << "-42" << true << -42;
  QTest::newRow("negative hex") << "-$10" << true << -16;
  QTest::newRow("zero") << "0" << true << 0;
  QTest::newRow("leading zeros") << "007" << true << 7;
  QTest::newRow("32-bit hex all ones") << "$FFFFFFFF" << true << -1;
  QTest::newRow("2^32 keeps low bits") << "4294967296" << true << 0;
  QTest::newRow("2^32+5") << "4294967301" << true << 5;
  QTest::newRow("int64 max") << "9223372036854775807" << true << -1;
  QTest::newRow("int64 min") << "-9223372036854775808" << true << 0;
  QTest::newRow("64-bit hex") << "$FFFFFFFFFFFFFFFE" << true << -2;
  QTest::newRow("decimal beyond int64") << "9223372036854775808" << false << -1;
  QTest::newRow("hex beyond 64 bits") << "$10000000000000000" << false << -1;
  QTest::newRow("decimal beyond 64 bits") << "99999999999999999999" << false << -1;
  QTest::newRow("empty") << "" << false << -1;
  QTest::newRow("blanks only") << "   " << false << -1;
  QTest::newRow("trailing blank") << "42 " << false << -1;
  QTest::newRow("inner blank") << "4 2" << false << -1;
  QTest::newRow("word") << "abc" << false << -1;
  QTest::newRow("prefix only $") << "$" << false << -1;
  QTest::newRow("prefix only 0x") << "0x" << false << -1;
  QTest::newRow("bad hex digit") << "$1G" << false << -1;
  QTest::newRow("hex digits without prefix") << "1A" << false << -1;
  QTest::newRow("decimal point") << "1.0" << false << -1;
  QTest::newRow("exponent") << "1e3" << false << -1;
  QTest::newRow("two signs") << "+-1" << false << -1;
  QTest::newRow("sign only") << "-" << false << -1;
  QTest::newRow("non-ASCII digits") << QString::fromUtf8("\u0664\u0662") << false << -1;
}

void TstBaseXML::xmlInt()
{
  QFETCH(QString, text);
  QFETCH(bool, ok);
  QFETCH(int, value);
  qint32 parsed = 12345;
  QCOMPARE(XmlTryInt(text, &parsed), ok);
  if (ok)
    QCOMPARE(parsed, value);
  QCOMPARE(XmlInt(text), value);
}

void TstBaseXML::xmlStrictInt_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<int>("value");
  QTest::newRow("plain") << "7" << true << 7;
  QTest::newRow("blank") << " 7" << true << 7;
  QTest::newRow("hex") << "$10" << true << 16;
  QTest::newRow("int32 max") << "2147483647" << true << 2147483647;
  QTest::newRow("int32 min") << "-2147483648" << true << int(-2147483647 - 1);
  QTest::newRow("hex all ones") << "0xFFFFFFFF" << true << -1;
  QTest::newRow("above int32") << "2147483648" << false << 0;
  QTest::newRow("below int32") << "-2147483649" << false << 0;
  QTest::newRow("hex beyond 32 bits") << "$100000000" << false << 0;
  QTest::newRow("decimal") << "1.5" << false << 0;
  QTest::newRow("empty") << "" << false << 0;
  QTest::newRow("trailing") << "7x" << false << 0;
}

void TstBaseXML::xmlStrictInt()
{
  QFETCH(QString, text);
  QFETCH(bool, ok);
  bool parsedOk = !ok;
  const qint32 value = XmlStrictInt(text, &parsedOk);
  QCOMPARE(parsedOk, ok);
  if (ok)
    QTEST(int(value), "value");
}

void TstBaseXML::xmlBool_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<bool>("value");
  QTest::newRow("1") << "1" << true << true;
  QTest::newRow("0") << "0" << true << false;
  QTest::newRow("-1 as written") << "-1" << true << true;
  QTest::newRow("2") << "2" << true << true;
  QTest::newRow("hex") << "$10" << true << true;
  QTest::newRow("TRUE") << "TRUE" << true << true;
  QTest::newRow("true") << "true" << true << true;
  QTest::newRow("False") << "False" << true << false;
  QTest::newRow("fALSE") << "fALSE" << true << false;
  QTest::newRow("decimal zero") << "0.0" << true << false;
  QTest::newRow("decimal") << "0.5" << true << true;
  QTest::newRow("yes") << "yes" << false << false;
  QTest::newRow("T") << "T" << false << false;
  QTest::newRow("empty") << "" << false << false;
}

void TstBaseXML::xmlBool()
{
  QFETCH(QString, text);
  QFETCH(bool, value);
  bool ok = false;
  QCOMPARE(XmlTryBool(text, &ok), value);
  QTEST(ok, "ok");
  QCOMPARE(XmlBool(text), value);
}

void TstBaseXML::xmlDecimal_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<double>("value");
  QTest::newRow("point") << "1.5" << true << 1.5;
  QTest::newRow("negative") << "-0.25" << true << -0.25;
  QTest::newRow("plus") << "+2" << true << 2.0;
  QTest::newRow("integer") << "7" << true << 7.0;
  QTest::newRow("exponent") << "1e3" << true << 1000.0;
  QTest::newRow("blanks around") << " 3.5 " << true << 3.5;
  QTest::newRow("leading point") << ".5" << true << 0.5;
  QTest::newRow("word") << "abc" << false << 0.0;
  QTest::newRow("empty") << "" << false << 0.0;
  QTest::newRow("trailing text") << "1.5kg" << false << 0.0;
  QTest::newRow("two points") << "1.2.3" << false << 0.0;
  QTest::newRow("out of range") << "1e999" << false << 0.0;
  QTest::newRow("plus minus") << "+-1" << false << 0.0;
}

void TstBaseXML::xmlDecimal()
{
  QFETCH(QString, text);
  QFETCH(bool, ok);
  QFETCH(double, value);
  bool parsedOk = !ok;
  QCOMPARE(XmlDecimalDot(text, &parsedOk), value);
  QCOMPARE(parsedOk, ok);
  // The locale fallback only adds forms; whatever '.' reads stays the same.
  if (ok)
    QCOMPARE(XmlDecimal(text), value);
}

void TstBaseXML::decimalText_data()
{
  QTest::addColumn<double>("value");
  QTest::addColumn<QString>("text");
  QTest::newRow("two decimals") << 1.5 << "1.50";
  QTest::newRow("zero") << 0.0 << "0.00";
  QTest::newRow("negative") << -2.25 << "-2.25";
  QTest::newRow("0.1 reads back from two decimals") << 0.1 << "0.10";
  QTest::newRow("large integer") << 1e20 << "100000000000000000000.00";
  QTest::newRow("third") << 1.0 / 3.0 << "0.3333333333333333";
  QTest::newRow("three decimals") << 123456.789 << "123456.789";
  QTest::newRow("small") << 1e-7 << "1e-07";
  QTest::newRow("huge") << 1e300 << "1e+300";
}

void TstBaseXML::decimalText()
{
  QFETCH(double, value);
  const QString text = XmlDecimalText(value);
  QTEST(text, "text");
  bool ok = false;
  QCOMPARE(XmlDecimalDot(text, &ok), value);
  QVERIFY(ok);
  QCOMPARE(XmlBoolText(true), QStringLiteral("-1"));
  QCOMPARE(XmlBoolText(false), QStringLiteral("0"));
}

void TstBaseXML::dateTimeDouble_data()
{
  QTest::addColumn<double>("value");
  QTest::addColumn<QDate>("date");
  QTest::addColumn<QTime>("time");
  QTest::newRow("epoch") << 0.0 << QDate(1899, 12, 30) << QTime(0, 0);
  QTest::newRow("day one 06:00") << 1.25 << QDate(1899, 12, 31) << QTime(6, 0);
  QTest::newRow("before epoch counts time away from zero")
      << -1.25 << QDate(1899, 12, 29) << QTime(6, 0);
  QTest::newRow("2011-03-15") << 40617.0 << QDate(2011, 3, 15) << QTime(0, 0);
  QTest::newRow("noon") << 40617.5 << QDate(2011, 3, 15) << QTime(12, 0);
  QTest::newRow("milliseconds") << 40617.0 + 1.0 / 86400000.0 << QDate(2011, 3, 15)
                                << QTime(0, 0, 0, 1);
  QTest::newRow("a daylight-saving gap is not shifted")
      << 44283.0 + 2.5 / 24.0 << QDate(2021, 3, 28) << QTime(2, 30);
}

void TstBaseXML::dateTimeDouble()
{
  QFETCH(double, value);
  QFETCH(QDate, date);
  QFETCH(QTime, time);
  QDate d;
  QTime t;
  QVERIFY(DoubleToDateTime(value, d, t));
  QCOMPARE(d, date);
  QCOMPARE(t, time);
  QVERIFY(std::fabs(DateTimeToDouble(date, time) - value) < 1e-9);

  for (double bad : {std::numeric_limits<double>::quiet_NaN(), 1e300, -700000.0, 3e6}) {
    QDate untouched(2000, 1, 1);
    QVERIFY(!DoubleToDateTime(bad, untouched, t));
    QCOMPARE(untouched, QDate(2000, 1, 1));
  }
}

void TstBaseXML::formatUsDateTime_data()
{
  QTest::addColumn<QDate>("date");
  QTest::addColumn<QTime>("time");
  QTest::addColumn<QString>("text");
  QTest::newRow("afternoon") << QDate(2011, 3, 15) << QTime(14, 5, 7) << "3/15/2011 2:05:07 PM";
  QTest::newRow("midnight without time") << QDate(2011, 3, 15) << QTime(0, 0) << "3/15/2011";
  QTest::newRow("just after midnight")
      << QDate(2011, 3, 15) << QTime(0, 0, 1) << "3/15/2011 12:00:01 AM";
  QTest::newRow("noon") << QDate(2011, 3, 15) << QTime(12, 0) << "3/15/2011 12:00:00 PM";
  QTest::newRow("morning") << QDate(2011, 3, 15) << QTime(9, 30) << "3/15/2011 9:30:00 AM";
  QTest::newRow("last second") << QDate(2011, 12, 1) << QTime(23, 59, 59)
                               << "12/1/2011 11:59:59 PM";
  QTest::newRow("epoch") << QDate(1899, 12, 30) << QTime(0, 0) << "12/30/1899";
  QTest::newRow("year 1") << QDate(1, 1, 1) << QTime(0, 0) << "1/1/0001";
  QTest::newRow("DST gap") << QDate(2021, 3, 28) << QTime(2, 30) << "3/28/2021 2:30:00 AM";
}

void TstBaseXML::formatUsDateTime()
{
  QFETCH(QDate, date);
  QFETCH(QTime, time);
  QFETCH(QString, text);
  const double value = DateTimeToDouble(date, time);
  QCOMPARE(FormatUsDateTime(value), text);
  double back = -1.0;
  QVERIFY(ParseUsDateTime(text, &back));
  QCOMPARE(back, value);

  QVERIFY(FormatUsDateTime(std::numeric_limits<double>::infinity()).isEmpty());
  QVERIFY(FormatUsDateTime(-700000.0).isEmpty());
}

void TstBaseXML::parseUsDateTime_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("ok");
  QTest::addColumn<QDate>("date");
  QTest::addColumn<QTime>("time");
  const QDate d(2011, 3, 15);
  QTest::newRow("full") << "3/15/2011 2:05:07 PM" << true << d << QTime(14, 5, 7);
  QTest::newRow("24-hour") << "3/15/2011 14:05:07" << true << d << QTime(14, 5, 7);
  QTest::newRow("no seconds") << "3/15/2011 14:05" << true << d << QTime(14, 5);
  QTest::newRow("zero padded, lower pm")
      << "03/05/2011 02:05 pm" << true << QDate(2011, 3, 5) << QTime(14, 5);
  QTest::newRow("date only") << "3/15/2011" << true << d << QTime(0, 0);
  QTest::newRow("12 AM") << "3/15/2011 12:00:00 AM" << true << d << QTime(0, 0);
  QTest::newRow("12 PM") << "3/15/2011 12:30 PM" << true << d << QTime(12, 30);
  QTest::newRow("no blank before PM") << "3/15/2011 2:05:07PM" << true << d << QTime(14, 5, 7);
  QTest::newRow("narrow no-break space, blanks around")
      << QString::fromUtf8(" 3/15/2011 2:05:07\u202FPM ") << true << d << QTime(14, 5, 7);
  QTest::newRow("day first with dots") << "15.03.2011 14:05:07" << false << QDate() << QTime();
  QTest::newRow("two-digit year") << "3/15/11" << false << QDate() << QTime();
  QTest::newRow("five-digit year") << "3/15/20110" << false << QDate() << QTime();
  QTest::newRow("month 13") << "13/1/2011" << false << QDate() << QTime();
  QTest::newRow("30 February") << "2/30/2011" << false << QDate() << QTime();
  QTest::newRow("hour 24") << "3/15/2011 24:00" << false << QDate() << QTime();
  QTest::newRow("13 PM") << "3/15/2011 13:00 PM" << false << QDate() << QTime();
  QTest::newRow("minute 60") << "3/15/2011 2:60" << false << QDate() << QTime();
  QTest::newRow("hour only") << "3/15/2011 2" << false << QDate() << QTime();
  QTest::newRow("unknown suffix") << "3/15/2011 2:05:07 XM" << false << QDate() << QTime();
  QTest::newRow("trailing garbage") << "3/15/2011 garbage" << false << QDate() << QTime();
  QTest::newRow("empty") << "" << false << QDate() << QTime();
}

void TstBaseXML::parseUsDateTime()
{
  QFETCH(QString, text);
  QFETCH(bool, ok);
  QFETCH(QDate, date);
  QFETCH(QTime, time);
  double value = -99.0;
  QCOMPARE(ParseUsDateTime(text, &value), ok);
  if (ok)
    QCOMPARE(value, DateTimeToDouble(date, time));
  else
    QCOMPARE(value, -99.0);
}

void TstBaseXML::tree()
{
  const QByteArray doc =
      "<?xml version=\"1.0\"?>\n"
      "<Root b=\"2\" a=\"1\" A=\"upper\">\n"
      "  <Item>first</Item>\n"
      "  <item>lower</item>\n"
      "  <Item>A &amp; B &lt;&#x119;&gt;<![CDATA[<raw>]]></Item>\n"
      "  <!-- comment --><Empty/>\n"
      "</Root>";
  QString error;
  const auto root = ParseXml(doc, &error);
  QVERIFY2(root, qPrintable(error));
  QCOMPARE(root->Name, QStringLiteral("Root"));
  QCOMPARE(int(root->Attributes.size()), 3);
  QCOMPARE(root->Attributes[0].Name, QStringLiteral("b"));
  QCOMPARE(root->Attributes[2].Name, QStringLiteral("A"));
  // Attributes and single children: any letter case, first occurrence.
  QCOMPARE(root->Attr(u"A"), QStringLiteral("1"));
  QCOMPARE(root->Attr(u"missing", QStringLiteral("dflt")), QStringLiteral("dflt"));
  QVERIFY(!root->HasAttr(u"c"));
  QCOMPARE(root->Child(u"ITEM")->Text, QStringLiteral("first"));
  QCOMPARE(root->Child(u"empty")->Name, QStringLiteral("Empty"));
  QVERIFY(root->Child(u"Nothing") == nullptr);
  // Repeated elements: exact name only.
  const auto items = root->Children(u"Item");
  QCOMPARE(int(items.size()), 2);
  QCOMPARE(items[1]->Text, QString::fromUtf8("A & B <\u0119><raw>"));
  QCOMPARE(int(root->Children(u"item").size()), 1);
  QVERIFY(root->Children(u"ITEM").empty());
  QCOMPARE(int(root->Items.size()), 4);
  QVERIFY(root->Child(u"Empty")->Text.isEmpty());
}

void TstBaseXML::requiredLookups()
{
  const auto root = ParseXmlOrThrow("<Dev id=\"3\"><Name>x</Name></Dev>");
  QCOMPARE(root->RequiredAttr(u"ID"), QStringLiteral("3"));
  QCOMPARE(root->RequiredChildText(u"name"), QStringLiteral("x"));
  try {
    root->RequiredChild(u"Status");
    QFAIL("missing element accepted");
  } catch (const TXmlLoadError& e) {
    QVERIFY(e.Message().contains(QStringLiteral("Status")));
    QVERIFY(e.Message().contains(QStringLiteral("Dev")));
  }
  try {
    root->RequiredAttr(u"MBaddr");
    QFAIL("missing attribute accepted");
  } catch (const TXmlLoadError& e) {
    QVERIFY(QString::fromUtf8(e.what()).contains(QStringLiteral("MBaddr")));
  }
  QVERIFY_THROWS_EXCEPTION(TXmlLoadError, ParseXmlOrThrow("<a>"));
}

void TstBaseXML::encodings_data()
{
  QTest::addColumn<QByteArray>("document");
  QTest::addColumn<QString>("text");
  const QString text = QString::fromUtf8("zewn\u0119trzna Durchflu\u00DF");
  const QByteArray cp1250 = "zewn\xEAtrzna Durchflu\xDF";
  QTest::newRow("UTF-8") << "<a>" + text.toUtf8() + "</a>" << text;
  QTest::newRow("UTF-8 with BOM") << "\xEF\xBB\xBF<a>" + text.toUtf8() + "</a>" << text;
  QTest::newRow("Windows-1250 undeclared") << "<a>" + cp1250 + "</a>" << text;
  QTest::newRow("ISO-8859-2 declared")
      << QByteArray("<?xml version=\"1.0\" encoding='ISO-8859-2'?><a>zewn\xEAtrzna</a>")
      << QString::fromUtf8("zewn\u0119trzna");
}

void TstBaseXML::encodings()
{
  QFETCH(QByteArray, document);
  QString error;
  const auto root = ParseXml(document, &error);
  QVERIFY2(root, qPrintable(error));
  QTEST(root->Text, "text");
}

void TstBaseXML::refused_data()
{
  QTest::addColumn<QByteArray>("document");
  QTest::addColumn<int>("maxBytes");
  QTest::addColumn<int>("maxElements");
  QTest::addColumn<QString>("reason");

  const QByteArray deep65 = QByteArray("<a>").repeated(65) + QByteArray("</a>").repeated(65);
  QTest::newRow("empty") << QByteArray() << 0 << 0 << "XML error";
  QTest::newRow("unclosed") << QByteArray("<a><b></a>") << 0 << 0 << "XML error";
  QTest::newRow("two roots") << QByteArray("<a/><b/>") << 0 << 0 << "XML error";
  QTest::newRow("65 levels") << deep65 << 0 << 0 << "nested deeper than 64";
  QTest::newRow("too many elements")
      << QByteArray("<a><b/><b/><b/></a>") << 0 << 3 << "more than 3 elements";
  QTest::newRow("too large") << QByteArray("<a>0123456789</a>") << 10 << 0 << "larger than 10";
  QTest::newRow("external entity never fetched")
      << QByteArray("<!DOCTYPE a [<!ENTITY e SYSTEM \"file:///etc/passwd\">]><a>&e;</a>") << 0 << 0
      << "external entity";
  QByteArray laughs = "<!DOCTYPE a [<!ENTITY l0 \"ha\">";
  for (int i = 1; i <= 12; ++i)
    laughs += "<!ENTITY l" + QByteArray::number(i) + " \"" +
              QByteArray("&l" + QByteArray::number(i - 1) + ";").repeated(10) + "\">";
  laughs += "]><a>&l12;</a>";
  QTest::newRow("entity expansion bomb") << laughs << 0 << 0 << "";
  // Small on the wire, 20000 characters once expanded.
  const QByteArray wide =
      "<!DOCTYPE a [<!ENTITY k0 \"kkkkkkkkkk\">"
      "<!ENTITY k1 \"" +
      QByteArray("&k0;").repeated(10) +
      "\">"
      "<!ENTITY k2 \"" +
      QByteArray("&k1;").repeated(10) + "\">]><a>" + QByteArray("&k2;").repeated(20) + "</a>";
  QTest::newRow("expanded text beyond twice the input limit")
      << wide << 2000 << 0 << "text exceeds";
}

void TstBaseXML::refused()
{
  QFETCH(QByteArray, document);
  QFETCH(int, maxBytes);
  QFETCH(int, maxElements);
  QFETCH(QString, reason);
  TXmlLimits limits;
  if (maxBytes > 0)
    limits.MaxBytes = maxBytes;
  if (maxElements > 0)
    limits.MaxElements = maxElements;
  QString error;
  QVERIFY(ParseXml(document, &error, limits) == nullptr);
  QVERIFY(!error.isEmpty());
  QVERIFY2(error.contains(reason), qPrintable(error));

  // Exactly at the depth limit is still accepted.
  const QByteArray deep64 = QByteArray("<a>").repeated(64) + QByteArray("</a>").repeated(64);
  QVERIFY(ParseXml(deep64, &error) != nullptr);
}

QTEST_GUILESS_MAIN(TstBaseXML)
#include "tst_baseXML.moc"
