#include "app/textFormat.h"

#include <QCoreApplication>
#include <QHash>
#include <QTranslator>
#include <QtTest>

#include <cmath>
#include <limits>

using TArgs = QList<TFmtArg>;
Q_DECLARE_METATYPE(TArgs)

namespace {
// Stands in for a catalogue: some translations keep the English specifiers,
// some were damaged by a translator.
class TTestTranslator : public QTranslator {
 public:
  QString translate(const char*, const char* sourceText, const char*, int) const override
  {
    return m_texts.value(QByteArray(sourceText));
  }
  bool isEmpty() const override { return m_texts.isEmpty(); }
  QHash<QByteArray, QString> m_texts;
};
}  // namespace

class TstTextFormat : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();
  void cleanupTestCase();
  void format_data();
  void format();
  void invalid_data();
  void invalid();
  void trFormat_data();
  void trFormat();

 private:
  TTestTranslator m_translator;
};

void TstTextFormat::initTestCase()
{
  m_translator.m_texts = {
      {"Connected to %s", QStringLiteral("Verbunden mit %s")},
      {"Data logger: ver.%d.%d (%dkB)", QStringLiteral("Datenlogger: Ver.%d.%s")},
      {"%d of %d channels", QStringLiteral("%d Kanäle")},
      {"Value %.2f", QStringLiteral("Wert %d")},
      {"%s: %d", QStringLiteral("%1:d <- %0:s")},
  };
  QVERIFY(QCoreApplication::installTranslator(&m_translator));
}

void TstTextFormat::cleanupTestCase() { QCoreApplication::removeTranslator(&m_translator); }

void TstTextFormat::format_data()
{
  QTest::addColumn<QString>("fmt");
  QTest::addColumn<TArgs>("args");
  QTest::addColumn<QString>("locale");
  QTest::addColumn<QString>("expected");

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();

  QTest::newRow("database name") << "%s%.2d-%.2d.mdb" << TArgs{"/data/M", 24, 7} << "C" << "/data/M24-07.mdb";
  QTest::newRow("logger version") << "Data logger: ver.%d.%d (%dkB)" << TArgs{1, 12, 512} << "C"
                                  << "Data logger: ver.1.12 (512kB)";
  QTest::newRow("percent") << "100%% of %s" << TArgs{"x"} << "C" << "100% of x";
  QTest::newRow("string kinds") << "%s|%s|%s" << TArgs{QStringLiteral("q"), QLatin1String("l"), QStringView(u"v")}
                                << "C" << "q|l|v";
  QTest::newRow("no specifiers") << "plain" << TArgs{} << "C" << "plain";
  // integers
  QTest::newRow("negative") << "%d" << TArgs{-5} << "C" << "-5";
  QTest::newRow("negative min digits") << "%.3d" << TArgs{-5} << "C" << "-005";
  QTest::newRow("smallest int64") << "%d" << TArgs{std::numeric_limits<qint64>::min()} << "C"
                                  << "-9223372036854775808";
  QTest::newRow("unsigned of -1") << "%u" << TArgs{-1} << "C" << "4294967295";
  QTest::newRow("hex upper") << "%x" << TArgs{255} << "C" << "FF";
  QTest::newRow("hex digits") << "%.4X" << TArgs{255} << "C" << "00FF";
  QTest::newRow("hex -1 int") << "%x" << TArgs{-1} << "C" << "FFFFFFFF";
  QTest::newRow("hex -1 int64") << "%x" << TArgs{qint64(-1)} << "C" << "FFFFFFFFFFFFFFFF";
  QTest::newRow("upper-case types") << "%S/%D" << TArgs{"x", 3} << "C" << "x/3";
  // width and justification
  QTest::newRow("width") << "[%5d|%-5d]" << TArgs{42, 42} << "C" << "[   42|42   ]";
  QTest::newRow("width star") << "[%*d]" << TArgs{4, 7} << "C" << "[   7]";
  QTest::newRow("negative star") << "[%*s]" << TArgs{-4, "ab"} << "C" << "[ab  ]";
  QTest::newRow("left star") << "[%-*s]" << TArgs{4, "ab"} << "C" << "[ab  ]";
  QTest::newRow("narrower than text") << "[%2s]" << TArgs{"abcd"} << "C" << "[abcd]";
  QTest::newRow("string precision") << "%.2s" << TArgs{"abcdef"} << "C" << "ab";
  QTest::newRow("index") << "%1:s %0:s %s" << TArgs{"a", "b"} << "C" << "b a b";
  // fixed
  QTest::newRow("precision star") << "%.*f" << TArgs{3, 2.0 / 3} << "C" << "0.667";
  QTest::newRow("default two decimals") << "%f" << TArgs{1.5} << "C" << "1.50";
  QTest::newRow("decimal tie") << "%.2f" << TArgs{2.675} << "C" << "2.68";
  QTest::newRow("no decimals") << "%.0f" << TArgs{2.5} << "C" << "3";
  QTest::newRow("no minus zero") << "%.1f" << TArgs{-0.04} << "C" << "0.0";
  QTest::newRow("width fixed") << "%8.3f" << TArgs{-3.14159} << "C" << "  -3.142";
  QTest::newRow("locale separator") << "%.2f" << TArgs{1.5} << "de_DE" << "1,50";
  QTest::newRow("no grouping") << "%.1f" << TArgs{1234567.25} << "de_DE" << "1234567,3";
  QTest::newRow("nan") << "%f" << TArgs{nan} << "C" << "NaN";
  QTest::newRow("-inf") << "%g" << TArgs{-inf} << "C" << "-INF";
  // general and scientific
  QTest::newRow("g tenth") << "%g" << TArgs{0.1} << "C" << "0.1";
  QTest::newRow("g sum") << "%g" << TArgs{0.1 + 0.2} << "C" << "0.3";
  QTest::newRow("g integer") << "%g" << TArgs{123456.0} << "C" << "123456";
  QTest::newRow("g zero") << "%g" << TArgs{0.0} << "C" << "0";
  QTest::newRow("g smallest fixed") << "%g" << TArgs{1e-5} << "C" << "0.00001";
  QTest::newRow("g small") << "%g" << TArgs{1.5e-6} << "C" << "1.5E-006";
  QTest::newRow("g large") << "%g" << TArgs{1e20} << "C" << "1E+020";
  QTest::newRow("g precision") << "%.3g" << TArgs{3.14159} << "C" << "3.14";
  QTest::newRow("g precision exponent") << "%.2g" << TArgs{1234.0} << "C" << "1.2E+003";
  QTest::newRow("g locale") << "%g" << TArgs{-2.5} << "de_DE" << "-2,5";
  QTest::newRow("e default") << "%e" << TArgs{1234.5} << "C" << "1.23450000000000E+003";
  QTest::newRow("e precision") << "%.3e" << TArgs{-0.000123456} << "C" << "-1.23E-004";
  QTest::newRow("e rounds up") << "%.2e" << TArgs{9.96} << "C" << "1.0E+001";
  QTest::newRow("e zero") << "%.3e" << TArgs{0.0} << "C" << "0.00E+000";
}

void TstTextFormat::format()
{
  QFETCH(QString, fmt);
  QFETCH(TArgs, args);
  QFETCH(QString, locale);
  QFETCH(QString, expected);

  bool ok = false;
  QCOMPARE(Format(fmt, args, &ok, QLocale(locale)), expected);
  QVERIFY(ok);
}

void TstTextFormat::invalid_data()
{
  QTest::addColumn<QString>("fmt");
  QTest::addColumn<TArgs>("args");
  QTest::addColumn<QString>("bestEffort");

  QTest::newRow("double for %d") << "n=%d" << TArgs{1.5} << "n=1.5";
  QTest::newRow("integer for %s") << "%s!" << TArgs{5} << "5!";
  QTest::newRow("string for %x") << "%x" << TArgs{"ab"} << "ab";
  QTest::newRow("integer for %f") << "%f" << TArgs{5} << "5.00";
  QTest::newRow("missing argument") << "%d and %d" << TArgs{1} << "1 and %d";
  QTest::newRow("no arguments") << "%s%.2d-%.2d.mdb" << TArgs{} << "%s%.2d-%.2d.mdb";
  QTest::newRow("surplus argument") << "%d" << TArgs{1, 2} << "1";
  QTest::newRow("unknown type") << "%q%d" << TArgs{1} << "%q1";
  QTest::newRow("pointer type") << "%p" << TArgs{1} << "%p";
  QTest::newRow("unfinished") << "abc%" << TArgs{} << "abc%";
  QTest::newRow("unfinished width") << "abc%-5" << TArgs{} << "abc%-5";
  QTest::newRow("star not integer") << "%*d" << TArgs{"x", 5} << "5";
  QTest::newRow("precision star double") << "%.*f" << TArgs{1.5, 2.0} << "2";
  QTest::newRow("index past end") << "%5:d" << TArgs{1} << "%5:d";
  QTest::newRow("absurd width") << "%99999999999d" << TArgs{1} << QString(4095, QLatin1Char(' ')) + "1";
  QTest::newRow("absurd star width") << "%*d" << TArgs{qint64(1) << 40, 1}
                                     << QString(4095, QLatin1Char(' ')) + "1";
}

void TstTextFormat::invalid()
{
  QFETCH(QString, fmt);
  QFETCH(TArgs, args);
  QFETCH(QString, bestEffort);

  bool ok = true;
  QCOMPARE(Format(fmt, args, &ok), bestEffort);
  QVERIFY(!ok);
}

void TstTextFormat::trFormat_data()
{
  QTest::addColumn<QString>("english");
  QTest::addColumn<TArgs>("args");
  QTest::addColumn<QString>("expected");

  QTest::newRow("translated") << "Connected to %s" << TArgs{"srv:81"} << "Verbunden mit srv:81";
  QTest::newRow("translation reorders") << "%s: %d" << TArgs{"a", 1} << "1 <- a";
  QTest::newRow("untranslated") << "Disconnected from %s" << TArgs{"srv"} << "Disconnected from srv";
  // Damaged translations fall back to the English format.
  QTest::newRow("type changed") << "Data logger: ver.%d.%d (%dkB)" << TArgs{1, 2, 64}
                                << "Data logger: ver.1.2 (64kB)";
  QTest::newRow("argument dropped") << "%d of %d channels" << TArgs{3, 8} << "3 of 8 channels";
  QTest::newRow("float became integer") << "Value %.2f" << TArgs{2.5} << "Value 2.50";
  // When the English format is broken too, its best effort is shown.
  QTest::newRow("english broken") << "Broken %d %d" << TArgs{1} << "Broken 1 %d";
}

void TstTextFormat::trFormat()
{
  QFETCH(QString, english);
  QFETCH(TArgs, args);
  QFETCH(QString, expected);

  const QByteArray source = english.toUtf8();
  QCOMPARE(TrFormat(source.constData(), args), expected);
}

QTEST_MAIN(TstTextFormat)
#include "tst_textFormat.moc"
