#include "app/appSettings.h"
#include "app/textFormat.h"
#include "app/translation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {
const QString kFixtureBase = QStringLiteral(DRAVOLUX_TEST_BINARY_DIR "/locale_fixture");

struct TMoEntry {
  QByteArray Id;
  QByteArray Str;
};

void PutWord(QByteArray& data, qsizetype offset, quint32 value, bool bigEndian = false)
{
  for (int i = 0; i < 4; ++i) {
    const int shift = bigEndian ? 24 - 8 * i : 8 * i;
    data[offset + i] = static_cast<char>((value >> shift) & 0xFF);
  }
}

// Writes a catalogue the way msgfmt lays it out: header, the two descriptor
// tables, then the NUL-terminated strings.
QByteArray BuildMo(const QList<TMoEntry>& entries, bool bigEndian = false)
{
  const quint32 n = static_cast<quint32>(entries.size());
  const quint32 originals = 28;
  const quint32 translations = originals + 8 * n;
  QByteArray data(28 + 16 * n, '\0');
  PutWord(data, 0, 0x950412de, bigEndian);
  PutWord(data, 4, 0, bigEndian);
  PutWord(data, 8, n, bigEndian);
  PutWord(data, 12, originals, bigEndian);
  PutWord(data, 16, translations, bigEndian);
  for (quint32 i = 0; i < n; ++i) {
    for (const bool isId : {true, false}) {
      const QByteArray& s = isId ? entries[i].Id : entries[i].Str;
      const quint32 descriptor = (isId ? originals : translations) + 8 * i;
      PutWord(data, descriptor, static_cast<quint32>(s.size()), bigEndian);
      PutWord(data, descriptor + 4, static_cast<quint32>(data.size()), bigEndian);
      data += s;
      data += '\0';
    }
  }
  return data;
}

QByteArray Header(const QByteArray& charset)
{
  QByteArray header = "Project-Id-Version: test\nMIME-Version: 1.0\n";
  if (!charset.isNull())
    header += "Content-Type: text/plain; charset=" + charset + "\n";
  return header;
}

QByteArray ValidMo()
{
  return BuildMo({{"", Header("UTF-8")}, {"Error", "Fehler"}, {"Log", "Protokoll"}});
}

bool WriteFile(const QString& path, const QByteArray& data)
{
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile file(path);
  return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}
}  // namespace

class TstTranslation : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void cleanup();
  void fixtureCatalogue();
  void installFixture();
  void bigEndianCatalogue();
  void corruptCatalogueRefused_data();
  void corruptCatalogueRefused();
  void corruptOrMissingFileLeavesEnglish();
  void charset_data();
  void charset();
  void badLanguageCodeRefused_data();
  void badLanguageCodeRefused();
  void shippedCatalogues_data();
  void shippedCatalogues();
  void readLanguage();
  void displayText_data();
  void displayText();
};

void TstTranslation::cleanup()
{
  // An unloadable language removes whatever was installed before.
  InstallTranslation(QStringLiteral("none"), kFixtureBase);
}

void TstTranslation::fixtureCatalogue()
{
  TmoTranslator translator;
  QVERIFY(translator.isEmpty());
  QString error;
  QVERIFY2(translator.loadMo(kFixtureBase + QStringLiteral("/tt/LC_MESSAGES/default.mo"), &error),
           qPrintable(error));
  QVERIFY(!translator.isEmpty());
  QCOMPARE(translator.translate("any context", "Error"), QStringLiteral("Fehler"));
  QCOMPARE(translator.translate(nullptr, "WARNING !\n\rContinue?"), QStringLiteral("WARNUNG !\n\rFortfahren?"));
  // Plural entries are found by the singular and give the first form.
  QCOMPARE(translator.translate(nullptr, "%d file", nullptr, 5), QStringLiteral("%d Datei"));
  QCOMPARE(translator.translate(nullptr, "Open"), QStringLiteral("Öffnen"));
  QCOMPARE(translator.translate(nullptr, "Untranslated"), QString());
  QCOMPARE(translator.translate(nullptr, "Not in the catalogue"), QString());
  QCOMPARE(translator.translate(nullptr, nullptr), QString());
  QCOMPARE(translator.count(), 4);
}

void TstTranslation::installFixture()
{
  QVERIFY(InstallTranslation(QStringLiteral("tt"), kFixtureBase));
  QCOMPARE(Tr("Error"), QStringLiteral("Fehler"));
  QCOMPARE(Tr("Untranslated"), QStringLiteral("Untranslated"));
  QCOMPARE(Tr("Not in the catalogue"), QStringLiteral("Not in the catalogue"));

  // A second language replaces the first rather than stacking on it.
  const QString base = QStringLiteral(DRAVOLUX_TEST_BINARY_DIR "/locale_replace");
  QVERIFY(WriteFile(base + QStringLiteral("/uu/LC_MESSAGES/default.mo"),
                    BuildMo({{"", Header("UTF-8")}, {"Log", "Journal"}})));
  QVERIFY(InstallTranslation(QStringLiteral("uu"), base));
  QCOMPARE(Tr("Log"), QStringLiteral("Journal"));
  QCOMPARE(Tr("Error"), QStringLiteral("Error"));
}

void TstTranslation::bigEndianCatalogue()
{
  TmoTranslator translator;
  QString error;
  QVERIFY2(translator.loadMoData(BuildMo({{"", Header("UTF-8")}, {"Error", "Fehler"}}, true), &error),
           qPrintable(error));
  QCOMPARE(translator.translate(nullptr, "Error"), QStringLiteral("Fehler"));
}

void TstTranslation::corruptCatalogueRefused_data()
{
  QTest::addColumn<QByteArray>("data");

  const QByteArray valid = ValidMo();
  // Descriptor of the second original ("Error"): 28 + 8.
  const qsizetype errorDescriptor = 36;

  QTest::newRow("empty") << QByteArray();
  QTest::newRow("short header") << valid.left(20);
  QTest::newRow("truncated") << valid.left(valid.size() - 5);
  QTest::newRow("last NUL cut") << valid.left(valid.size() - 1);
  QByteArray d = valid;
  PutWord(d, 0, 0x12345678);
  QTest::newRow("bad magic") << d;
  d = valid;
  PutWord(d, 4, 0x00010000);
  QTest::newRow("revision 1") << d;
  d = valid;
  PutWord(d, 8, 0xFFFFFFFF);
  QTest::newRow("huge count") << d;
  d = valid;
  PutWord(d, 8, 0x10000000);
  QTest::newRow("count beyond file") << d;
  d = valid;
  PutWord(d, 12, static_cast<quint32>(valid.size() - 4));
  QTest::newRow("table past end") << d;
  d = valid;
  PutWord(d, 16, 0xFFFFFFF8);
  QTest::newRow("table offset wraps") << d;
  d = valid;
  PutWord(d, errorDescriptor + 4, static_cast<quint32>(valid.size() + 100));
  QTest::newRow("string past end") << d;
  d = valid;
  PutWord(d, errorDescriptor, 0x20);
  PutWord(d, errorDescriptor + 4, 0xFFFFFFF0);
  QTest::newRow("string end wraps") << d;
  d = valid;
  PutWord(d, errorDescriptor, static_cast<quint32>(valid.size()));
  QTest::newRow("length past end") << d;
  d = valid;
  d[d.indexOf(QByteArray("Error")) + 5] = 'X';
  QTest::newRow("missing NUL") << d;
}

void TstTranslation::corruptCatalogueRefused()
{
  QFETCH(QByteArray, data);

  TmoTranslator translator;
  QVERIFY(translator.loadMoData(BuildMo({{"", Header("UTF-8")}, {"Log", "Journal"}})));
  QString error;
  QVERIFY(!translator.loadMoData(data, &error));
  QVERIFY(!error.isEmpty());
  // What was loaded before stays.
  QCOMPARE(translator.translate(nullptr, "Log"), QStringLiteral("Journal"));
  QCOMPARE(translator.translate(nullptr, "Error"), QString());
}

void TstTranslation::corruptOrMissingFileLeavesEnglish()
{
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  QByteArray damaged = ValidMo();
  PutWord(damaged, 8, 0xFFFFFFFF);
  QVERIFY(WriteFile(dir.filePath(QStringLiteral("xx/LC_MESSAGES/default.mo")), damaged));

  QVERIFY(InstallTranslation(QStringLiteral("tt"), kFixtureBase));
  QCOMPARE(Tr("Error"), QStringLiteral("Fehler"));
  QVERIFY(!InstallTranslation(QStringLiteral("xx"), dir.path()));
  QCOMPARE(Tr("Error"), QStringLiteral("Error"));

  QVERIFY(InstallTranslation(QStringLiteral("tt"), kFixtureBase));
  QVERIFY(!InstallTranslation(QStringLiteral("yy"), dir.path()));  // no such catalogue
  QCOMPARE(Tr("Error"), QStringLiteral("Error"));
}

void TstTranslation::charset_data()
{
  QTest::addColumn<QByteArray>("charset");
  QTest::addColumn<QByteArray>("bytes");
  QTest::addColumn<QString>("expected");

  QTest::newRow("utf-8") << QByteArray("UTF-8") << QByteArray("\xc5\x82\xc3\xb3") << QStringLiteral("łó");
  QTest::newRow("no charset") << QByteArray() << QByteArray("\xc3\xa9") << QStringLiteral("é");
  QTest::newRow("template placeholder") << QByteArray("CHARSET") << QByteArray("\xc3\xa9") << QStringLiteral("é");
  QTest::newRow("latin-1") << QByteArray("ISO-8859-1") << QByteArray("\xe9") << QStringLiteral("é");
  QTest::newRow("latin-2") << QByteArray("ISO-8859-2") << QByteArray("\xb3\xf3") << QStringLiteral("łó");
  QTest::newRow("lower case name") << QByteArray("iso-8859-2") << QByteArray("\xb3") << QStringLiteral("ł");
  QTest::newRow("unknown falls back to latin-1") << QByteArray("x-no-such-set") << QByteArray("\xe9")
                                                 << QStringLiteral("é");
}

void TstTranslation::charset()
{
  QFETCH(QByteArray, charset);
  QFETCH(QByteArray, bytes);
  QFETCH(QString, expected);

  TmoTranslator translator;
  QVERIFY(translator.loadMoData(BuildMo({{"", Header(charset)}, {"Text", bytes}})));
  QCOMPARE(translator.translate(nullptr, "Text"), expected);
}

void TstTranslation::badLanguageCodeRefused_data()
{
  QTest::addColumn<QString>("code");

  QTest::newRow("empty") << "";
  QTest::newRow("parent folder") << "..";
  QTest::newRow("path") << "tt/../tt";
  QTest::newRow("absolute") << "/tmp";
  QTest::newRow("too long") << "abcdefghi";
  QTest::newRow("region") << "de_DE";
  QTest::newRow("blank") << "t t";
  QTest::newRow("non-ascii letter") << "tü";
}

void TstTranslation::badLanguageCodeRefused()
{
  QFETCH(QString, code);

  // A valid catalogue waits wherever the code would lead, so only the check
  // of the code itself can refuse it.
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  const QString target = QDir::cleanPath(dir.path() + QLatin1Char('/') + code + QStringLiteral("/LC_MESSAGES/default.mo"));
  if (target.startsWith(dir.path() + QLatin1Char('/')))
    QVERIFY(WriteFile(target, ValidMo()));
  QVERIFY(WriteFile(dir.filePath(QStringLiteral("LC_MESSAGES/default.mo")), ValidMo()));

  QVERIFY(InstallTranslation(QStringLiteral("tt"), kFixtureBase));
  QVERIFY(!InstallTranslation(code, dir.path()));
  QCOMPARE(Tr("Error"), QStringLiteral("Error"));
}

void TstTranslation::shippedCatalogues_data()
{
  QTest::addColumn<QString>("code");
  for (const char* code : {"de", "en", "es", "fr", "hu", "pl", "ro"})
    QTest::newRow(code) << QString::fromLatin1(code);
}

// The catalogues built beside the program load, translate, and keep the
// specifiers of their format texts usable with the English arguments.
void TstTranslation::shippedCatalogues()
{
  QFETCH(QString, code);

  QVERIFY(InstallTranslation(code));
  const bool english = code == QLatin1String("en");
  for (const char* text : {"Cancel", "Settings", "Incorect password", "Reinstalation error"})
    QCOMPARE(Tr(text) == QLatin1String(text), english);

  const char* warning =
      "WARNING !\n\rChange of settings can cause in improper operation of the system. Are you sure to continue?";
  QVERIFY(!DisplayText(Tr(warning)).contains(QLatin1Char('\r')));
  QCOMPARE(Tr(warning) == QLatin1String(warning), english);

  bool ok = false;
  const QString logger = Format(Tr("Data logger: ver.%d.%d (%dkB)"), {1, 23, 512}, &ok);
  QVERIFY2(ok && logger.contains(QLatin1String("23")) && logger.contains(QLatin1String("512")),
           qPrintable(logger));
  const QString connected = Format(Tr("Connected to %s"), {QStringLiteral("srv:81")}, &ok);
  QVERIFY2(ok && connected.contains(QLatin1String("srv:81")), qPrintable(connected));
}

void TstTranslation::readLanguage()
{
  QTemporaryDir dir;
  QVERIFY(dir.isValid());
  {
    QSettings ini(dir.filePath(QStringLiteral("lang.ini")), QSettings::IniFormat);
    QCOMPARE(ReadLanguage(ini), QStringLiteral("en"));
    ini.setValue(QStringLiteral("lang"), QStringLiteral("pl"));
    QCOMPARE(ReadLanguage(ini), QStringLiteral("pl"));
    ini.setValue(QStringLiteral("lang"), QString());
    QCOMPARE(ReadLanguage(ini), QStringLiteral("en"));
    ini.setValue(QStringLiteral("lang"), QStringList{QStringLiteral("de"), QStringLiteral("fr")});
    QCOMPARE(ReadLanguage(ini), QStringLiteral("en"));
  }

  // The program's own reader goes to the system settings.
  QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir.path());
  QCOMPARE(ReadLanguage(), QStringLiteral("en"));
  {
    auto system = SystemSettings();
    system->setValue(QStringLiteral("lang"), QStringLiteral("hu"));
    system->sync();
    QCOMPARE(system->status(), QSettings::NoError);
  }
  QCOMPARE(ReadLanguage(), QStringLiteral("hu"));
}

void TstTranslation::displayText_data()
{
  QTest::addColumn<QString>("text");
  QTest::addColumn<QString>("expected");

  QTest::newRow("line break") << "WARNING !\n\rGo on?" << "WARNING !\nGo on?";
  QTest::newRow("two breaks") << "a\n\r\n\rb" << "a\n\nb";
  QTest::newRow("windows break kept") << "a\r\nb" << "a\r\nb";
  QTest::newRow("plain") << "abc" << "abc";
}

void TstTranslation::displayText()
{
  QFETCH(QString, text);
  QFETCH(QString, expected);
  QCOMPARE(DisplayText(text), expected);
}

QTEST_MAIN(TstTranslation)
#include "tst_translation.moc"
