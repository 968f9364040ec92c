#include "AppVersion.h"
#include "app/commonClass.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>
#include <QtTest>

#include <cmath>
#include <limits>
#include <stdexcept>

class TstCommonClass : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void divisorTable_data();
  void divisorTable();
  void unknownFormatGivesHundred_data();
  void unknownFormatGivesHundred();

  void formatFloat_data();
  void formatFloat();

  void axisScale_data();
  void axisScale();
  void axisScaleStepFitsSpan();

  void secondsToTime_data();
  void secondsToTime();
  void timeToSeconds_data();
  void timeToSeconds();
  void limitIntervalAndDropSeconds_data();
  void limitIntervalAndDropSeconds();

  void fontTextExample();
  void fontTextRoundTrip_data();
  void fontTextRoundTrip();
  void fontTextLeavesFontUnchanged_data();
  void fontTextLeavesFontUnchanged();
  void fontTextInvalidItems();

  void colors_data();
  void colors();

  void newTempFileCreatesDistinctFiles();
  void newTempFileThrowsWhenFolderMissing();
  void versionTexts();
  void titleWord();
};

// ---- decimal divisors ----

void TstCommonClass::divisorTable_data()
{
  QTest::addColumn<qint64>("divisor");
  QTest::addColumn<QString>("format");
  QTest::addColumn<int>("decimals");
  QTest::addColumn<bool>("known");

  QTest::newRow("1") << qint64(1) << "0" << 0 << true;
  QTest::newRow("10") << qint64(10) << "0.0" << 1 << true;
  QTest::newRow("100") << qint64(100) << "0.00" << 2 << true;
  QTest::newRow("1000") << qint64(1000) << "0.000" << 3 << true;
  QTest::newRow("10^4") << qint64(10000) << "0.0000" << 4 << true;
  QTest::newRow("10^5") << qint64(100000) << "0.00000" << 5 << true;
  QTest::newRow("10^6") << qint64(1000000) << "0.000000" << 6 << true;
  QTest::newRow("10^7") << qint64(10000000) << "0.0000000" << 7 << true;
  QTest::newRow("10^8") << qint64(100000000) << "0.00000000" << 8 << true;
  QTest::newRow("10^9") << qint64(1000000000) << "0.000000000" << 9 << true;
  QTest::newRow("7") << qint64(7) << "0.00" << 2 << false;
  QTest::newRow("0") << qint64(0) << "0.00" << 2 << false;
  QTest::newRow("-10") << qint64(-10) << "0.00" << 2 << false;
  QTest::newRow("10^10") << qint64(10000000000LL) << "0.00" << 2 << false;
}

void TstCommonClass::divisorTable()
{
  QFETCH(qint64, divisor);
  QFETCH(QString, format);
  QFETCH(int, decimals);
  QFETCH(bool, known);

  QCOMPARE(DecimalFormat(divisor), format);
  QCOMPARE(DecimalsOf(divisor), decimals);
  QCOMPARE(DivisorOf(format), known ? divisor : qint64(100));
}

void TstCommonClass::unknownFormatGivesHundred_data()
{
  QTest::addColumn<QString>("format");
  QTest::newRow("empty") << "";
  QTest::newRow("ten decimals") << "0.0000000000";
  QTest::newRow("comma separator") << "0,00";
  QTest::newRow("axis pattern") << "###0.0";
  QTest::newRow("blank") << " 0.0";
}

void TstCommonClass::unknownFormatGivesHundred()
{
  QFETCH(QString, format);
  QCOMPARE(DivisorOf(format), qint64(100));
}

// ---- FormatFloat ----

void TstCommonClass::formatFloat_data()
{
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<double>("value");
  QTest::addColumn<QString>("locale");
  QTest::addColumn<QString>("expected");

  const double inf = std::numeric_limits<double>::infinity();
  // Ties are decided on the decimal value the operator sees, not on the
  // binary double, which is slightly below 2.675 and 1.0005.
  QTest::newRow("decimal tie 2.675") << "0.00" << 2.675 << "C" << "2.68";
  QTest::newRow("decimal tie 1.0005") << "0.000" << 1.0005 << "C" << "1.001";
  QTest::newRow("tie away from zero") << "0" << 2.5 << "C" << "3";
  QTest::newRow("negative tie") << "0" << -2.5 << "C" << "-3";
  QTest::newRow("below tie") << "0" << 0.4999 << "C" << "0";
  QTest::newRow("carry through nines") << "0.00" << 999.995 << "C" << "1000.00";
  QTest::newRow("carry into new digit") << "0.0" << 9.96 << "C" << "10.0";
  QTest::newRow("no minus zero") << "0" << -0.4 << "C" << "0";
  QTest::newRow("no minus zero decimals") << "0.0" << -0.04 << "C" << "0.0";
  QTest::newRow("negative zero") << "0.00" << -0.0 << "C" << "0.00";
  QTest::newRow("required zeros") << "0.000" << 1.5 << "C" << "1.500";
  QTest::newRow("smallest divisor") << "0.000000000" << 1e-9 << "C" << "0.000000001";
  QTest::newRow("large fixed") << "0.00" << 1e20 << "C" << "100000000000000000000.00";
  QTest::newRow("optional integer") << "###0.###" << 10.0 << "C" << "10";
  QTest::newRow("optional trimmed") << "###0.###" << 10.5 << "C" << "10.5";
  QTest::newRow("optional rounded") << "###0.###" << 0.1234 << "C" << "0.123";
  QTest::newRow("optional rounds up") << "###0.###" << 0.0005 << "C" << "0.001";
  QTest::newRow("optional to zero") << "###0.###" << -0.0004 << "C" << "0";
  QTest::newRow("optional sum") << "###0.###" << 0.1 + 0.2 << "C" << "0.3";
  QTest::newRow("no thousands separator") << "###0.###" << -1234.5 << "C" << "-1234.5";
  QTest::newRow("axis one decimal") << "###0.0" << 5.0 << "C" << "5.0";
  QTest::newRow("axis two decimals") << "###0.00" << 0.125 << "C" << "0.13";
  QTest::newRow("german separator") << "0.00" << 1.5 << "de_DE" << "1,50";
  QTest::newRow("german optional") << "###0.###" << -1234.25 << "de_DE" << "-1234,25";
  QTest::newRow("german integer") << "0" << 1234.0 << "de_DE" << "1234";
  QTest::newRow("nan") << "0.00" << std::numeric_limits<double>::quiet_NaN() << "C" << "NaN";
  QTest::newRow("inf") << "0.00" << inf << "C" << "INF";
  QTest::newRow("-inf") << "###0.###" << -inf << "C" << "-INF";
}

void TstCommonClass::formatFloat()
{
  QFETCH(QString, pattern);
  QFETCH(double, value);
  QFETCH(QString, locale);
  QFETCH(QString, expected);

  QCOMPARE(FormatFloat(pattern, value, QLocale(locale)), expected);
}

// ---- AxisScale ----

namespace {
bool Near(double a, double b) { return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b)); }
}  // namespace

void TstCommonClass::axisScale_data()
{
  QTest::addColumn<double>("max");
  QTest::addColumn<double>("min");
  QTest::addColumn<double>("lower");
  QTest::addColumn<double>("upper");
  QTest::addColumn<double>("increment");
  QTest::addColumn<QString>("format");

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double big = std::numeric_limits<double>::max();

  QTest::newRow("0..10") << 10.0 << 0.0 << -0.3 << 10.3 << 2.0 << "###0.###";
  QTest::newRow("equal bounds") << 5.0 << 5.0 << 4.5 << 5.5 << 0.2 << "###0.0";
  QTest::newRow("swapped bounds") << 0.0 << 10.0 << -0.3 << 10.3 << 2.0 << "###0.###";
  QTest::newRow("0..1") << 1.0 << 0.0 << -0.03 << 1.03 << 0.2 << "###0.0";
  QTest::newRow("hundredths") << 0.05 << 0.01 << 0.0088 << 0.0512 << 0.005 << "###0.000";
  QTest::newRow("thousands") << 1000.0 << 0.0 << -30.0 << 1030.0 << 200.0 << "###0.###";
  QTest::newRow("negative range") << -2.0 << -8.0 << -8.18 << -1.82 << 1.0 << "###0.0";
  // log10 of these spans (just below 1000, 0.1 and 10) rounds up to the power
  // of ten; the step and format must still follow the span's true order.
  QTest::newRow("span just below 1000") << 943.39622641509425 << 0.0 << -28.301886792452827 << 971.69811320754718
                                        << 100.0 << "###0.###";
  QTest::newRow("span just below 0.1") << 0.094339622641509427 << 0.0 << -0.0028301886792452828
                                       << 0.097169811320754709 << 0.01 << "###0.000";
  QTest::newRow("span just below 10") << 9.999999999999999 / 1.06 << 0.0 << -0.28301886792452829
                                      << 9.7169811320754711 << 1.0 << "###0.0";
  // Near the end of the range the margin vanishes in the rounding.
  QTest::newRow("huge equal bounds") << 1e300 << 1e300 << 1e300 << 1e300 << 0.2 << "###0.0";
  QTest::newRow("nan max") << nan << 0.0 << 0.0 << 1.0 << 0.1 << "###0.0";
  QTest::newRow("nan min") << 1.0 << nan << 0.0 << 1.0 << 0.1 << "###0.0";
  QTest::newRow("inf") << inf << 0.0 << 0.0 << 1.0 << 0.1 << "###0.0";
  QTest::newRow("-inf") << 0.0 << -inf << 0.0 << 1.0 << 0.1 << "###0.0";
  QTest::newRow("span overflows") << big << -big << 0.0 << 1.0 << 0.1 << "###0.0";
}

void TstCommonClass::axisScale()
{
  QFETCH(double, max);
  QFETCH(double, min);
  QFETCH(double, lower);
  QFETCH(double, upper);
  QFETCH(double, increment);
  QFETCH(QString, format);

  double outLower = -1, outUpper = -1, outIncrement = -1;
  QString outFormat;
  AxisScale(max, min, outLower, outUpper, outIncrement, outFormat);
  QVERIFY2(Near(outLower, lower), qPrintable(QString::number(outLower, 'g', 17)));
  QVERIFY2(Near(outUpper, upper), qPrintable(QString::number(outUpper, 'g', 17)));
  QVERIFY2(Near(outIncrement, increment), qPrintable(QString::number(outIncrement, 'g', 17)));
  QCOMPARE(outFormat, format);
}

// Spans swept ulp by ulp around the step boundaries of every order the charts
// can meet: the step always exceeds the span without being needlessly coarse,
// and the label format can show the increment.
void TstCommonClass::axisScaleStepFitsSpan()
{
  int checked = 0;
  for (int order = -9; order <= 12; ++order) {
    const double power = std::pow(10.0, order);
    for (double target : {power, 2 * power, 5 * power}) {
      double max = target / 1.06;
      for (int i = 0; i < 12; ++i)
        max = std::nextafter(max, 0.0);
      for (int i = 0; i < 24; ++i, max = std::nextafter(max, 1e308)) {
        const TAxisScale s = AxisScale(max, 0.0);
        const double span = s.Upper - s.Lower;
        const double step = s.Increment * 10;
        const QByteArray where = QByteArray::number(max, 'g', 17) + " span " + QByteArray::number(span, 'g', 17)
                                 + " step " + QByteArray::number(step, 'g', 17) + " " + s.Format.toLatin1();
        // From the step table: 10u for [5u,10u), 5u for [2u,5u), 2u for [u,2u).
        QVERIFY2(step > span && step <= 2.5 * span * (1 + 1e-12), where.constData());
        // The label format must be able to show the increment.
        const double shown = FormatFloat(s.Format, s.Increment, QLocale::c()).toDouble();
        QVERIFY2(Near(shown, s.Increment), where.constData());
        ++checked;
      }
    }
  }
  QVERIFY(checked > 0);
  // The orders far beyond what a label can show still get a usable step.
  const TAxisScale tiny = AxisScale(1e-20, 0.0);
  QVERIFY(tiny.Increment > 0 && tiny.Increment * 10 > tiny.Upper - tiny.Lower);
  QCOMPARE(tiny.Format, QStringLiteral("###0.") + QString(16, QLatin1Char('0')));
  const TAxisScale huge = AxisScale(1e20, 0.0);
  QVERIFY(huge.Increment * 10 > huge.Upper - huge.Lower);
  QCOMPARE(huge.Format, QStringLiteral("###0.###"));
}

// ---- time helpers ----

void TstCommonClass::secondsToTime_data()
{
  QTest::addColumn<qint64>("seconds");
  QTest::addColumn<QTime>("time");
  QTest::addColumn<int>("result");

  QTest::newRow("midnight") << qint64(0) << QTime(0, 0, 0) << 1;
  QTest::newRow("3725") << qint64(3725) << QTime(1, 2, 5) << 1;
  QTest::newRow("last second") << qint64(86399) << QTime(23, 59, 59) << 1;
  QTest::newRow("24 hours") << qint64(86400) << QTime(0, 15, 0) << 0;
  QTest::newRow("90000") << qint64(90000) << QTime(0, 15, 0) << 0;
  QTest::newRow("negative") << qint64(-1) << QTime(0, 15, 0) << 0;
}

void TstCommonClass::secondsToTime()
{
  QFETCH(qint64, seconds);
  QFETCH(QTime, time);
  QFETCH(int, result);

  QTime out(7, 7, 7);
  QCOMPARE(SecondsToTime(seconds, out), result);
  QCOMPARE(out, time);
}

void TstCommonClass::timeToSeconds_data()
{
  QTest::addColumn<double>("dateTime");
  QTest::addColumn<qint64>("seconds");
  QTest::addColumn<int>("result");

  QTest::newRow("noon") << 0.5 << qint64(43200) << 1;
  QTest::newRow("date part ignored") << 45000.25 << qint64(21600) << 1;
  // 3725 s as a day fraction is not exact in binary; truncating would give 3724.
  QTest::newRow("01:02:05") << 3725.0 / 86400.0 << qint64(3725) << 1;
  QTest::newRow("milliseconds dropped") << (3725.0 + 0.75) / 86400.0 << qint64(3725) << 1;
  QTest::newRow("negative") << -0.5 << qint64(0) << 0;
  QTest::newRow("nan") << std::numeric_limits<double>::quiet_NaN() << qint64(0) << 0;
}

void TstCommonClass::timeToSeconds()
{
  QFETCH(double, dateTime);
  QFETCH(qint64, seconds);
  QFETCH(int, result);

  qint64 out = -1;
  QCOMPARE(TimeToSeconds(dateTime, out), result);
  QCOMPARE(out, seconds);

  // The time-of-day overload agrees with the date-time one.
  if (result == 1) {
    QTime time;
    QCOMPARE(SecondsToTime(seconds, time), 1);
    out = -1;
    QCOMPARE(TimeToSeconds(time, out), 1);
    QCOMPARE(out, seconds);
  }
  out = -1;
  QCOMPARE(TimeToSeconds(QTime(), out), 0);
  QCOMPARE(out, qint64(0));
}

void TstCommonClass::limitIntervalAndDropSeconds_data()
{
  QTest::addColumn<QTime>("time");
  QTest::addColumn<QTime>("limited");
  QTest::addColumn<QTime>("dropped");

  QTest::newRow("30 s") << QTime(0, 0, 30) << QTime(0, 1) << QTime(0, 0);
  QTest::newRow("02:10:45") << QTime(2, 10, 45) << QTime(2, 10) << QTime(2, 10);
  QTest::newRow("zero") << QTime(0, 0) << QTime(0, 1) << QTime(0, 0);
  QTest::newRow("milliseconds") << QTime(0, 1, 59, 999) << QTime(0, 1) << QTime(0, 1);
  QTest::newRow("end of day") << QTime(23, 59, 59, 999) << QTime(23, 59) << QTime(23, 59);
}

void TstCommonClass::limitIntervalAndDropSeconds()
{
  QFETCH(QTime, time);
  QFETCH(QTime, limited);
  QFETCH(QTime, dropped);

  QTime t = time;
  LimitInterval(t);
  QCOMPARE(t, limited);
  t = time;
  DropSeconds(t);
  QCOMPARE(t, dropped);
}

// ---- font text ----

void TstCommonClass::fontTextExample()
{
  TFontSpec font;
  font.Font.setFamily(QStringLiteral("MS Sans Serif"));
  font.Font.setPointSize(8);
  font.Font.setBold(true);
  font.Charset = 238;
  font.Color = clWindowText;
  const QString text = FontToText(&font);
  QCOMPARE(text, QStringLiteral("MS Sans Serif,8,B,,,,238,-16777208"));

  TFontSpec read;
  read.Font.setItalic(true);
  TextToFont(text, &read);
  QCOMPARE(read.Font.family(), QStringLiteral("MS Sans Serif"));
  QCOMPARE(read.Font.pointSize(), 8);
  QVERIFY(read.Font.bold());
  QVERIFY(!read.Font.italic());
  QCOMPARE(read.Charset, 238);
  QCOMPARE(read.Color, clWindowText);

  QCOMPARE(FontToText(nullptr), QString());
  TextToFont(text, nullptr);  // no font, nothing to do
}

void TstCommonClass::fontTextRoundTrip_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("expected");  // after reading and writing back

  QTest::newRow("example") << "MS Sans Serif,8,B,,,,238,-16777208" << "MS Sans Serif,8,B,,,,238,-16777208";
  QTest::newRow("all styles") << "Courier New,10,B,I,U,S,0,255" << "Courier New,10,B,I,U,S,0,255";
  // Character sets and system colours Qt knows nothing about survive.
  QTest::newRow("unknown charset") << "Tahoma,12,,I,,,77,-16777201" << "Tahoma,12,,I,,,77,-16777201";
  QTest::newRow("any style letter") << "Arial,9,x,y,z,w,1,0" << "Arial,9,B,I,U,S,1,0";
  QTest::newRow("quotes removed") << "\"Times New Roman\",11,,,'U',,0,16711680"
                                  << "Times New Roman,11,,,U,,0,16711680";
  QTest::newRow("blanks after commas") << "Arial, 14, B,,,, 0, 0" << "Arial,14,B,,,,0,0";
  QTest::newRow("pixel size") << "Arial,-13,,,,,1,0" << "Arial,-13,,,,,1,0";
}

void TstCommonClass::fontTextRoundTrip()
{
  QFETCH(QString, text);
  QFETCH(QString, expected);

  TFontSpec font;
  TextToFont(text, &font);
  QCOMPARE(FontToText(&font), expected);
}

void TstCommonClass::fontTextLeavesFontUnchanged_data()
{
  QTest::addColumn<QString>("text");

  QTest::newRow("seven items") << "Arial,10,B,,,,0";
  QTest::newRow("nine items") << "Arial,10,B,,,,0,0,0";
  QTest::newRow("blank inside an item") << "Arial,10,B I,,,,0,0";
  QTest::newRow("name only") << "Arial";
  QTest::newRow("empty") << "";
}

void TstCommonClass::fontTextLeavesFontUnchanged()
{
  QFETCH(QString, text);

  TFontSpec font;
  font.Font.setFamily(QStringLiteral("Verdana"));
  font.Font.setPointSize(17);
  font.Font.setUnderline(true);
  font.Charset = 204;
  font.Color = 0x00123456;
  const QString before = FontToText(&font);
  TextToFont(text, &font);
  QCOMPARE(FontToText(&font), before);

  // A name with a comma is written out, but cannot be read back: the comma
  // adds an item, so the reader keeps its font.
  TFontSpec comma;
  comma.Font.setFamily(QStringLiteral("Foo, Bar"));
  comma.Font.setPointSize(9);
  TextToFont(FontToText(&comma), &font);
  QCOMPARE(FontToText(&font), before);
}

void TstCommonClass::fontTextInvalidItems()
{
  TFontSpec font;
  font.Font.setPointSize(11);
  font.Charset = 238;
  font.Color = 255;
  TextToFont(QStringLiteral("Arial,big,,,,,abc,red"), &font);
  QCOMPARE(font.Font.family(), QStringLiteral("Arial"));
  QCOMPARE(font.Font.pointSize(), 11);  // kept
  QCOMPARE(font.Charset, 1);
  QCOMPARE(font.Color, clWindowText);

  // A trailing comma is an empty eighth item, not a missing one.
  font.Color = 255;
  TextToFont(QStringLiteral("Arial,10,,,,,0,"), &font);
  QCOMPARE(font.Font.pointSize(), 10);
  QCOMPARE(font.Color, clWindowText);
}

// ---- colours ----

void TstCommonClass::colors_data()
{
  QTest::addColumn<qint32>("value");
  QTest::addColumn<QColor>("color");

  const QPalette palette = QGuiApplication::palette();
  QTest::newRow("red") << qint32(0x000000FF) << QColor(255, 0, 0);
  QTest::newRow("blue") << qint32(0x00FF0000) << QColor(0, 0, 255);
  QTest::newRow("mixed") << qint32(0x00123456) << QColor(0x56, 0x34, 0x12);
  QTest::newRow("window text") << clWindowText << palette.color(QPalette::Active, QPalette::WindowText);
  QTest::newRow("window") << qint32(0xFF000005) << palette.color(QPalette::Active, QPalette::Base);
  QTest::newRow("button face") << qint32(0xFF00000F) << palette.color(QPalette::Active, QPalette::Button);
  QTest::newRow("highlight") << qint32(0xFF00000D) << palette.color(QPalette::Active, QPalette::Highlight);
  QTest::newRow("info background") << qint32(0xFF000018)
                                   << palette.color(QPalette::Active, QPalette::ToolTipBase);
  QTest::newRow("unknown system colour") << qint32(0xFF0000FF) << QColor(Qt::black);
  QTest::newRow("unused system index") << qint32(0xFF000019) << QColor(Qt::black);
}

void TstCommonClass::colors()
{
  QFETCH(qint32, value);
  QFETCH(QColor, color);

  QCOMPARE(ColorFromBGR(value), color);
  if ((static_cast<quint32>(value) & 0xFF000000u) == 0)
    QCOMPARE(ColorToBGR(color), value);
}

// ---- temporary files, version, title ----

void TstCommonClass::newTempFileCreatesDistinctFiles()
{
  const QString first = NewTempFile();
  const QString second = NewTempFile();
  QVERIFY(first != second);
  for (const QString& name : {first, second}) {
    const QFileInfo info(name);
    QVERIFY2(info.exists(), qPrintable(name));
    QVERIFY(info.isAbsolute());
    QVERIFY(info.fileName().startsWith(QStringLiteral("~CL")));
    QCOMPARE(info.size(), qint64(0));
    QCOMPARE(info.canonicalPath(), QFileInfo(TempFolder()).canonicalFilePath());
    QVERIFY(QFile::remove(name));
  }
}

void TstCommonClass::newTempFileThrowsWhenFolderMissing()
{
  const QByteArray saved = qgetenv("TMPDIR");
  qputenv("TMPDIR", QByteArray(DRAVOLUX_TEST_BINARY_DIR "/no/such/folder"));
  bool thrown = false;
  try {
    const QString name = NewTempFile();
    QFile::remove(name);
  } catch (const std::runtime_error& e) {
    thrown = true;
    QVERIFY(e.what()[0] != '\0');
  }
  if (saved.isNull())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", saved);
  QVERIFY(thrown);
}

void TstCommonClass::versionTexts()
{
  int major = -1, minor = -1, release = -1, build = -1;
  QVERIFY(ReadVersion(QString(), major, minor, release, build));
  QCOMPARE(major, AppVersion::Major);
  QCOMPARE(minor, AppVersion::Minor);
  QCOMPARE(release, AppVersion::Release);
  QCOMPARE(build, AppVersion::Build);

  const TProgramVersion v = ProgramVersion();
  QCOMPARE(v.Major, major);
  QCOMPARE(v.Minor, minor);
  QCOMPARE(v.Release, release);
  QCOMPARE(v.Build, build);

  const QString three = QStringLiteral("%1.%2.%3").arg(major).arg(minor).arg(release);
  QCOMPARE(VersionText3(), three);
  QCOMPARE(VersionText4(), three + QStringLiteral(".%1").arg(build));
}

void TstCommonClass::titleWord()
{
  const QString saved = QCoreApplication::applicationName();
  QCoreApplication::setApplicationName(QStringLiteral("Dravolux Soft Terminal"));
  QCOMPARE(TitleWord(), QStringLiteral("Dravolux"));
  QCoreApplication::setApplicationName(QStringLiteral("Dravolux"));
  QCOMPARE(TitleWord(), QStringLiteral("Dravolux"));
  QCoreApplication::setApplicationName(saved);
}

QTEST_MAIN(TstCommonClass)
#include "tst_commonClass.moc"
