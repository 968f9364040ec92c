#include "app/cmdParms.h"

#include <QDir>

#include <array>

namespace {

constexpr std::array<qint32, 10> kBaudRates = {110,  300,   1200,  2400,  4800,
                                               9600, 19200, 38400, 57600, 115200};

// Strict decimal integer: an optional sign and digits only, as the operator
// typed it; "12x", " 12" and "" are refused.
bool ParseInteger(const QString& text, qint32& value)
{
  if (text.isEmpty() || text.trimmed() != text)
    return false;
  bool ok = false;
  const qint32 parsed = text.toInt(&ok, 10);
  if (ok)
    value = parsed;
  return ok;
}

// Folder names are case-sensitive here, so the typed case is kept (lowering
// it would point the databases at a folder that does not exist).
QString NormaliseBasesDir(const QString& arg)
{
  QString path = QDir::isAbsolutePath(arg) ? arg : QDir::current().absoluteFilePath(arg);
  if (!path.endsWith(QLatin1Char('/')))
    path += QLatin1Char('/');
  return path;
}

}  // namespace

TcmdParms::TcmdParms() : BasesDir(DefaultBasesDir())
{
  // Fixed Polish operator text, not translated; LF CR between the lines.
  static const char16_t* const kLines[] = {
      u"Parametry:",
      u" -B [BaudRate] - prędkość transmisji {9600}",
      u"       BaudRate: 110,300,1200,2400,4800,9600,19200,38400,57600,115200",
      u" -b [BasesDir] - katalog baz danych {.\\bases\\}",
      u" -V - tryb podgladu (aplikacja nie robi pomiarów) {False}",
      u" -R [1..10] - liczba powtórzeń zapytań ModBus {2}",
      u" -m - dodatkowe komunikaty",
      u" -HSL - HiSpeedLog: zdjęcie dolnego limitu na interwał rejestracji pomiarów {False}",
  };
  QStringList lines;
  for (const char16_t* line : kLines)
    lines << QString::fromUtf16(line);
  HelpText = lines.join(QStringLiteral("\n\r"));
}

QString TcmdParms::DefaultBasesDir() { return QStringLiteral("./bases/"); }

bool TcmdParms::IsAcceptedBaudRate(qint32 rate)
{
  for (qint32 accepted : kBaudRates) {
    if (accepted == rate)
      return true;
  }
  return false;
}

QString TcmdParms::DisplayHelpText() const
{
  QString text = HelpText;
  text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  return text;
}

int TcmdParms::Parse(const QStringList& arguments)
{
  BaudRate = 9600;
  BasesDir = DefaultBasesDir();
  Retries = 2;
  ExtraMessages = false;
  HiSpeedLog = false;
  RValue = 20;

  const qsizetype count = arguments.size();
  for (qsizetype i = 0; i < count; ++i) {
    const QString& arg = arguments.at(i);
    const bool hasNext = i + 1 < count;
    // A missing value reads as an empty text, which is not an integer.
    const QString next = hasNext ? arguments.at(i + 1) : QString();

    if (arg == QLatin1String("-B")) {
      ++i;
      if (!ParseInteger(next, BaudRate))
        return -1;
      if (!IsAcceptedBaudRate(BaudRate)) {
        BaudRate = 0;
        return -1;
      }
    } else if (arg == QLatin1String("-b")) {
      if (hasNext) {
        ++i;
        BasesDir = NormaliseBasesDir(next);
      }
    } else if (arg == QLatin1String("-V")) {
      Preview = true;
    } else if (arg == QLatin1String("-R")) {
      ++i;
      qint32 value = 0;
      if (!ParseInteger(next, value) || value < 1 || value > 10)
        return -1;
      Retries = value;
    } else if (arg == QLatin1String("-m")) {
      ExtraMessages = true;
    } else if (arg == QLatin1String("-HSL")) {
      HiSpeedLog = true;
    } else if (arg == QLatin1String("-r")) {
      ++i;
      qint32 value = 0;
      if (!ParseInteger(next, value) || value < 1 || value > 300)
        return -1;
      RValue = value;
    } else {
      return -1;
    }
  }
  return 0;
}
