#include "app/appSettings.h"
#include "app/serverPaths.h"

#include <QTemporaryDir>
#include <QtTest>

class TestServerPaths : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase();
  void init();

  void quoting_data();
  void quoting();
  void moveToTop_data();
  void moveToTop();
  void saveLoadRoundTrip();
  void emptyListIsWrittenEmpty();
  void usedServerGoesFirst();

 private:
  QTemporaryDir m_settingsDir;
};

void TestServerPaths::initTestCase()
{
  QVERIFY(m_settingsDir.isValid());
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
}

void TestServerPaths::init() { UserSettings()->clear(); }

void TestServerPaths::quoting_data()
{
  QTest::addColumn<QString>("value");
  QTest::addColumn<QStringList>("paths");
  QTest::addColumn<bool>("written");  // value is what BuildServerPaths writes for paths

  QTest::newRow("empty") << QString() << QStringList{} << true;
  QTest::newRow("one") << R"("10.0.0.5:81")" << QStringList{"10.0.0.5:81"} << true;
  QTest::newRow("two in order") << R"("A";"B")" << QStringList{"A", "B"} << true;
  QTest::newRow("inner quotes doubled")
      << R"("say ""hi""";"B")" << QStringList{R"(say "hi")", "B"} << true;
  QTest::newRow("quote at both ends of a path")
      << R"("""x""")" << QStringList{R"("x")"} << true;
  QTest::newRow("unquoted parts") << "A;B" << QStringList{"A", "B"} << false;
  QTest::newRow("empty parts dropped") << R"("A";;"";"B")" << QStringList{"A", "B"} << false;
  QTest::newRow("only quotes") << R"("")" << QStringList{} << false;
  // The separator is found without regard to quoting.
  QTest::newRow("semicolon inside quotes splits") << R"("a;b")" << QStringList{"a", "b"} << false;
}

void TestServerPaths::quoting()
{
  QFETCH(QString, value);
  QFETCH(QStringList, paths);
  QFETCH(bool, written);

  QCOMPARE(ParseServerPaths(value), paths);
  if (written)
    QCOMPARE(BuildServerPaths(paths), value);
  QCOMPARE(ParseServerPaths(BuildServerPaths(paths)), paths);
}

void TestServerPaths::moveToTop_data()
{
  QTest::addColumn<QStringList>("paths");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QStringList>("expected");

  QTest::newRow("existing moves up") << QStringList{"A", "B", "C"} << "C"
                                     << QStringList{"C", "A", "B"};
  QTest::newRow("first stays") << QStringList{"A", "B"} << "A" << QStringList{"A", "B"};
  QTest::newRow("new inserted") << QStringList{"A", "B"} << "D" << QStringList{"D", "A", "B"};
  QTest::newRow("into empty list") << QStringList{} << "A" << QStringList{"A"};
  QTest::newRow("empty text ignored") << QStringList{"A", "B"} << "" << QStringList{"A", "B"};
  QTest::newRow("duplicates collapse") << QStringList{"A", "B", "A"} << "A"
                                      << QStringList{"A", "B"};
  QTest::newRow("case-insensitive match") << QStringList{"A", "Host"} << "HOST"
                                          << QStringList{"HOST", "A"};
}

void TestServerPaths::moveToTop()
{
  QFETCH(QStringList, paths);
  QFETCH(QString, text);
  QFETCH(QStringList, expected);

  MoveToTop(paths, text);
  QCOMPARE(paths, expected);
}

void TestServerPaths::saveLoadRoundTrip()
{
  QCOMPARE(LoadServerPaths(), QStringList{});  // missing value

  const QStringList paths{"192.168.1.10:81", R"(odd "name")", "plant-server"};
  const QString written = SaveServerPaths(paths);
  QCOMPARE(written, QStringLiteral(R"("192.168.1.10:81";"odd ""name""";"plant-server")"));
  QCOMPARE(UserSettings()->value(QLatin1String(kServerPathsValue)).toString(), written);
  QCOMPARE(LoadServerPaths(), paths);
}

void TestServerPaths::emptyListIsWrittenEmpty()
{
  QVERIFY(!UserSettings()->contains(QLatin1String(kServerPathsValue)));
  QCOMPARE(SaveServerPaths({}), QString());
  auto settings = UserSettings();
  QVERIFY(settings->contains(QLatin1String(kServerPathsValue)));
  QCOMPARE(settings->value(QLatin1String(kServerPathsValue)).toString(), QString());
  QCOMPARE(LoadServerPaths(), QStringList{});
}

void TestServerPaths::usedServerGoesFirst()
{
  SaveServerPaths({"A", "B"});
  QStringList paths = LoadServerPaths();
  MoveToTop(paths, QStringLiteral("B"));
  QCOMPARE(SaveServerPaths(paths), QStringLiteral(R"("B";"A")"));
  QCOMPARE(LoadServerPaths(), (QStringList{"B", "A"}));
}

QTEST_GUILESS_MAIN(TestServerPaths)
#include "tst_serverPaths.moc"
