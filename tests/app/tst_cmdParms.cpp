#include "app/cmdParms.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

class TstCmdParms : public QObject {
  Q_OBJECT
 private Q_SLOTS:
  void parse_data();
  void parse();
  void basesDirKeepsCaseAndExpands();
  void parseResetsToDefaults();
  void helpText();
};

void TstCmdParms::parse_data()
{
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<int>("result");
  QTest::addColumn<int>("baud");
  QTest::addColumn<int>("retries");
  QTest::addColumn<int>("rvalue");

  QTest::newRow("no arguments") << QStringList{} << 0 << 9600 << 2 << 20;
  QTest::newRow("baud and retries") << QStringList{"-B", "19200", "-R", "5"} << 0 << 19200 << 5 << 20;
  QTest::newRow("every accepted rate") << QStringList{"-B", "110", "-B", "115200"} << 0 << 115200 << 2 << 20;
  QTest::newRow("14400 refused, baud 0") << QStringList{"-B", "14400"} << -1 << 0 << 2 << 20;
  QTest::newRow("600 refused") << QStringList{"-B", "600"} << -1 << 0 << 2 << 20;
  QTest::newRow("-B last keeps value") << QStringList{"-B"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-B not a number") << QStringList{"-B", "fast"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-B trailing junk") << QStringList{"-B", "9600x"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-R 0") << QStringList{"-R", "0"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-R 11") << QStringList{"-R", "11"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-R 1") << QStringList{"-R", "1"} << 0 << 9600 << 1 << 20;
  QTest::newRow("-R 10") << QStringList{"-R", "10"} << 0 << 9600 << 10 << 20;
  QTest::newRow("-R last") << QStringList{"-R"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-r 300") << QStringList{"-r", "300"} << 0 << 9600 << 2 << 300;
  QTest::newRow("-r 301") << QStringList{"-r", "301"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-r 0") << QStringList{"-r", "0"} << -1 << 9600 << 2 << 20;
  QTest::newRow("lower-case -v") << QStringList{"-v"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-Bx") << QStringList{"-Bx"} << -1 << 9600 << 2 << 20;
  QTest::newRow("/B") << QStringList{"/B", "9600"} << -1 << 9600 << 2 << 20;
  QTest::newRow("-V then unknown") << QStringList{"-V", "junk"} << -1 << 9600 << 2 << 20;
  QTest::newRow("stops at first refusal") << QStringList{"-x", "-R", "5"} << -1 << 9600 << 2 << 20;
  QTest::newRow("flags") << QStringList{"-V", "-m", "-HSL"} << 0 << 9600 << 2 << 20;
  QTest::newRow("-b last accepted") << QStringList{"-b"} << 0 << 9600 << 2 << 20;
}

void TstCmdParms::parse()
{
  QFETCH(QStringList, args);
  QFETCH(int, result);
  TcmdParms parms;
  QCOMPARE(parms.Parse(args), result);
  QTEST(parms.BaudRate, "baud");
  QTEST(parms.Retries, "retries");
  QTEST(parms.RValue, "rvalue");
  if (QTest::currentDataTag() == QLatin1String("flags")) {
    QVERIFY(parms.Preview);
    QVERIFY(parms.ExtraMessages);
    QVERIFY(parms.HiSpeedLog);
  }
  if (QTest::currentDataTag() == QLatin1String("-b last accepted"))
    QCOMPARE(parms.BasesDir, TcmdParms::DefaultBasesDir());
}

void TstCmdParms::basesDirKeepsCaseAndExpands()
{
  QTemporaryDir work;
  QVERIFY(work.isValid());
  const QString saved = QDir::currentPath();
  QVERIFY(QDir::setCurrent(work.path()));
  const QString cwd = QDir::currentPath();

  struct Case {
    QString arg;
    QString expected;
  };
  const Case cases[] = {
      {"/srv/Data/Bases", "/srv/Data/Bases/"},
      {"/srv/Data/Bases/", "/srv/Data/Bases/"},
      {"MyBases", cwd + "/MyBases/"},
      {"sub/Dir", cwd + "/sub/Dir/"},
  };
  for (const Case& c : cases) {
    TcmdParms parms;
    QCOMPARE(parms.Parse({"-b", c.arg}), 0);
    QCOMPARE(parms.BasesDir, c.expected);
  }
  QDir::setCurrent(saved);
}

void TstCmdParms::parseResetsToDefaults()
{
  TcmdParms parms;
  QCOMPARE(parms.Parse({"-B", "38400", "-R", "7", "-m", "-r", "5", "-b", "/x"}), 0);
  QCOMPARE(parms.Parse({}), 0);
  QCOMPARE(parms.BaudRate, 9600);
  QCOMPARE(parms.Retries, 2);
  QCOMPARE(parms.RValue, 20);
  QVERIFY(!parms.ExtraMessages);
  QCOMPARE(parms.BasesDir, QStringLiteral("./bases/"));
}

void TstCmdParms::helpText()
{
  TcmdParms parms;
  const QStringList lines = parms.HelpText.split(QStringLiteral("\n\r"));
  QCOMPARE(lines.size(), 8);
  QCOMPARE(lines.first(), QStringLiteral("Parametry:"));
  QCOMPARE(lines.at(1), QString::fromUtf8(" -B [BaudRate] - prędkość transmisji {9600}"));
  QVERIFY(!parms.HelpText.endsWith(QLatin1Char('\r')));
  QVERIFY(!parms.HelpText.contains(QLatin1String("-r ")));
  QVERIFY(!parms.DisplayHelpText().contains(QLatin1Char('\r')));
}

QTEST_GUILESS_MAIN(TstCmdParms)
#include "tst_cmdParms.moc"
