#include "app/commonClass.h"

#include "AppVersion.h"
#include "app/textFormat.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPalette>
#include <QStringList>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <utility>

// ---- decimal divisor helpers ----

namespace {
constexpr int kMaxDecimals = 9;

// Divisor 10^n for n = 0..9, the only ones a channel can have.
int DecimalsOfDivisor(qint64 divisor)
{
  qint64 power = 1;
  for (int n = 0; n <= kMaxDecimals; ++n, power *= 10) {
    if (divisor == power)
      return n;
  }
  return -1;
}
}  // namespace

QString DecimalFormat(qint64 divisor)
{
  const int decimals = DecimalsOf(divisor);
  return decimals == 0 ? QStringLiteral("0") : QStringLiteral("0.") + QString(decimals, QLatin1Char('0'));
}

int DecimalsOf(qint64 divisor)
{
  const int decimals = DecimalsOfDivisor(divisor);
  return decimals < 0 ? 2 : decimals;
}

qint64 DivisorOf(const QString& format)
{
  qint64 power = 1;
  for (int n = 0; n <= kMaxDecimals; ++n, power *= 10) {
    if (format == DecimalFormat(power))
      return power;
  }
  return 100;
}

QString FormatFloat(const QString& pattern, double value, const QLocale& locale)
{
  const QString special = DecimalText::NonFinite(value);
  if (!special.isEmpty())
    return special;
  if (pattern.isEmpty())
    return Format(QStringLiteral("%.15g"), {value}, nullptr, locale);

  // '0' is a digit that is always printed, '#' one that is printed only when
  // it is significant; there are no thousands separators in our patterns.
  const qsizetype point = pattern.indexOf(QLatin1Char('.'));
  const QStringView integerPattern = QStringView(pattern).left(point < 0 ? pattern.size() : point);
  const int minInteger = static_cast<int>(integerPattern.count(QLatin1Char('0')));
  int minDecimals = 0;
  int maxDecimals = 0;
  if (point >= 0) {
    for (const QChar c : QStringView(pattern).mid(point + 1)) {
      if (c == QLatin1Char('0'))
        minDecimals = ++maxDecimals;
      else if (c == QLatin1Char('#'))
        ++maxDecimals;
    }
  }

  DecimalText::TDecimal d = DecimalText::Shortest(value);
  DecimalText::RoundToDecimals(d, maxDecimals);
  std::string fraction = DecimalText::FractionDigits(d, maxDecimals);
  while (fraction.size() > static_cast<size_t>(minDecimals) && fraction.back() == '0')
    fraction.pop_back();

  QString text;
  if (d.Negative && !d.isZero())
    text += QLatin1Char('-');
  text += QString::fromStdString(DecimalText::IntegerDigits(d, minInteger));
  if (!fraction.empty())
    text += locale.decimalPoint() + QString::fromStdString(fraction);
  return text;
}

// ---- value axis ----

TAxisScale AxisScale(double max, double min)
{
  TAxisScale scale;  // the defaults are the answer for unusable input
  if (!std::isfinite(max) || !std::isfinite(min))
    return scale;
  if (max < min)
    std::swap(max, min);

  double margin = std::fabs(max - min) * 0.03;
  if (margin == 0)
    margin = 0.5;
  const double upper = max + margin;
  const double lower = min - margin;
  double span = std::fabs(upper - lower);
  if (!std::isfinite(upper) || !std::isfinite(lower) || !std::isfinite(span))
    return scale;
  // Near the end of the double range the margin is absorbed and the bounds
  // coincide; an axis of one unit is still drawable.
  if (span <= 0)
    span = 1;

  // log10 of a value just below a power of ten may round up to that power,
  // so the order is checked against the span it stands for.
  int order = static_cast<int>(std::floor(std::log10(span)));
  double unit = std::pow(10.0, order);
  while (order > -330 && span < unit)
    unit = std::pow(10.0, --order);
  while (order < 330 && span >= 10 * unit)
    unit = std::pow(10.0, ++order);

  double step;
  if (span >= 5 * unit)
    step = 10 * unit;
  else if (span >= 2 * unit)
    step = 5 * unit;
  else
    step = 2 * unit;

  scale.Lower = lower;
  scale.Upper = upper;
  scale.Increment = std::fabs(step / 10);
  // The step follows the true order; only the label format is bounded, since
  // a double has no more than about 16 significant digits to show.
  const int formatOrder = std::clamp(order, -15, 15);
  // The pattern always uses '.', whatever the UI's separator: it is a pattern,
  // not a number, and FormatFloat applies the separator when printing.
  scale.Format = formatOrder > 0 ? QStringLiteral("###0.###")
                                 : QStringLiteral("###0.") + QString(-formatOrder + 1, QLatin1Char('0'));
  return scale;
}

void AxisScale(double max, double min, double& lower, double& upper, double& increment,
               QString& format)
{
  const TAxisScale scale = AxisScale(max, min);
  lower = scale.Lower;
  upper = scale.Upper;
  increment = scale.Increment;
  format = scale.Format;
}

// ---- version ----

namespace {
// The four 16-bit numbers packed into one word, so a reader on another
// thread never sees a half-written version.
std::atomic<quint64> g_programVersion{0};

quint64 PackVersion(int major, int minor, int release, int build)
{
  return (static_cast<quint64>(major & 0xFFFF) << 48) | (static_cast<quint64>(minor & 0xFFFF) << 32)
         | (static_cast<quint64>(release & 0xFFFF) << 16) | static_cast<quint64>(build & 0xFFFF);
}
}  // namespace

bool ReadVersion(const QString& fileName, int& major, int& minor, int& release, int& build)
{
  Q_UNUSED(fileName);
  major = AppVersion::Major;
  minor = AppVersion::Minor;
  release = AppVersion::Release;
  build = AppVersion::Build;
  g_programVersion.store(PackVersion(major, minor, release, build), std::memory_order_release);
  return true;
}

TProgramVersion ProgramVersion()
{
  const quint64 packed = g_programVersion.load(std::memory_order_acquire);
  TProgramVersion v;
  v.Major = static_cast<int>((packed >> 48) & 0xFFFF);
  v.Minor = static_cast<int>((packed >> 32) & 0xFFFF);
  v.Release = static_cast<int>((packed >> 16) & 0xFFFF);
  v.Build = static_cast<int>(packed & 0xFFFF);
  return v;
}

QString VersionText4(const QString& fileName)
{
  int major = 0, minor = 0, release = 0, build = 0;
  if (!ReadVersion(fileName, major, minor, release, build))
    return QString();
  return Format(QStringLiteral("%d.%d.%d.%d%s"), {major, minor, release, build, QString()});
}

QString VersionText3(const QString& fileName)
{
  int major = 0, minor = 0, release = 0, build = 0;
  if (!ReadVersion(fileName, major, minor, release, build))
    return QString();
  return Format(QStringLiteral("%d.%d.%d"), {major, minor, release});
}

// ---- colours ----

namespace {
struct TSystemColor {
  QPalette::ColorGroup Group;
  QPalette::ColorRole Role;
};

// Indexed by the Windows system colour number (the low byte of 0xFF0000nn);
// each maps to the palette entry that plays the same part on screen.
constexpr TSystemColor kSystemColors[] = {
    {QPalette::Active, QPalette::Button},           // 0 scroll bar
    {QPalette::Active, QPalette::Window},           // 1 desktop
    {QPalette::Active, QPalette::Highlight},        // 2 active caption
    {QPalette::Inactive, QPalette::Mid},            // 3 inactive caption
    {QPalette::Active, QPalette::Window},           // 4 menu
    {QPalette::Active, QPalette::Base},             // 5 window
    {QPalette::Active, QPalette::Shadow},           // 6 window frame
    {QPalette::Active, QPalette::WindowText},       // 7 menu text
    {QPalette::Active, QPalette::WindowText},       // 8 window text
    {QPalette::Active, QPalette::HighlightedText},  // 9 caption text
    {QPalette::Active, QPalette::Button},           // 10 active border
    {QPalette::Inactive, QPalette::Button},         // 11 inactive border
    {QPalette::Active, QPalette::Mid},              // 12 application workspace
    {QPalette::Active, QPalette::Highlight},        // 13 highlight
    {QPalette::Active, QPalette::HighlightedText},  // 14 highlighted text
    {QPalette::Active, QPalette::Button},           // 15 button face
    {QPalette::Active, QPalette::Dark},             // 16 button shadow
    {QPalette::Disabled, QPalette::WindowText},     // 17 grey text
    {QPalette::Active, QPalette::ButtonText},       // 18 button text
    {QPalette::Inactive, QPalette::WindowText},     // 19 inactive caption text
    {QPalette::Active, QPalette::Light},            // 20 button highlight
    {QPalette::Active, QPalette::Shadow},           // 21 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},         // 22 3-D light
    {QPalette::Active, QPalette::ToolTipText},      // 23 info text
    {QPalette::Active, QPalette::ToolTipBase},      // 24 info background
    {QPalette::Active, QPalette::NoRole},           // 25 unused
    {QPalette::Active, QPalette::Link},             // 26 hot light
    {QPalette::Active, QPalette::Highlight},        // 27 gradient active caption
    {QPalette::Inactive, QPalette::Mid},            // 28 gradient inactive caption
    {QPalette::Active, QPalette::Highlight},        // 29 menu highlight
    {QPalette::Active, QPalette::Window},           // 30 menu bar
};
}  // namespace

QColor ColorFromBGR(qint32 value)
{
  const quint32 bits = static_cast<quint32>(value);
  if ((bits & 0xFF000000u) == 0xFF000000u) {
    const quint32 index = bits & 0x00FFFFFFu;
    if (index >= std::size(kSystemColors) || kSystemColors[index].Role == QPalette::NoRole)
      return QColor(Qt::black);
    // Without a GUI application there is no system palette; Qt's default one
    // still gives sensible colours.
    const QPalette palette = qGuiApp != nullptr ? QGuiApplication::palette() : QPalette();
    return palette.color(kSystemColors[index].Group, kSystemColors[index].Role);
  }
  // Other high bytes (palette-relative colours) still carry an RGB value.
  return QColor(static_cast<int>(bits & 0xFF), static_cast<int>((bits >> 8) & 0xFF),
                static_cast<int>((bits >> 16) & 0xFF));
}

qint32 ColorToBGR(const QColor& color)
{
  const QColor rgb = color.toRgb();
  return static_cast<qint32>(static_cast<quint32>(rgb.red()) | (static_cast<quint32>(rgb.green()) << 8)
                             | (static_cast<quint32>(rgb.blue()) << 16));
}

// ---- font text ----

namespace {
// Splits comma text the way the layout files were written: unquoted items end
// at a comma or a blank, a quoted item may hold both, blanks between items
// are skipped, and a trailing comma adds an empty item.
QStringList SplitCommaText(QStringView text)
{
  QStringList items;
  const qsizetype n = text.size();
  auto isBlank = [&](qsizetype i) { return i < n && text[i].unicode() >= 1 && text[i].unicode() <= ' '; };
  qsizetype i = 0;
  while (isBlank(i))
    ++i;
  while (i < n) {
    QString item;
    if (text[i] == QLatin1Char('"')) {
      ++i;
      while (i < n) {
        if (text[i] == QLatin1Char('"')) {
          ++i;
          if (i >= n || text[i] != QLatin1Char('"'))
            break;
        }
        item += text[i++];
      }
    } else {
      const qsizetype begin = i;
      while (i < n && text[i].unicode() > ' ' && text[i] != QLatin1Char(','))
        ++i;
      item = text.mid(begin, i - begin).toString();
    }
    items.append(item);
    while (isBlank(i))
      ++i;
    if (i < n && text[i] == QLatin1Char(',')) {
      if (i + 1 == n)
        items.append(QString());
      ++i;
      while (isBlank(i))
        ++i;
    }
  }
  return items;
}

QString WithoutQuotes(QString text)
{
  text.remove(QLatin1Char('"'));
  text.remove(QLatin1Char('\''));
  return text;
}

// Integers in the font text are plain decimal, whatever the UI locale.
bool ParseInt(const QString& text, int& value)
{
  bool ok = false;
  const int v = text.toInt(&ok, 10);
  if (ok)
    value = v;
  return ok;
}
}  // namespace

QString FontToText(const TFontSpec* font)
{
  if (font == nullptr)
    return QString();
  const QFont& f = font->Font;
  // A pixel-sized font is written as a negative size, as the files have
  // always meant a character height by it.
  const int size = f.pointSize() > 0 ? f.pointSize() : (f.pixelSize() > 0 ? -f.pixelSize() : 0);
  const QStringList items = {f.family(),
                             QString::number(size),
                             f.bold() ? QStringLiteral("B") : QString(),
                             f.italic() ? QStringLiteral("I") : QString(),
                             f.underline() ? QStringLiteral("U") : QString(),
                             f.strikeOut() ? QStringLiteral("S") : QString(),
                             QString::number(font->Charset),
                             QString::number(font->Color)};
  // The comma-text form quotes items with blanks, commas or quotes, and all
  // quotes are then removed again, so what remains is the plain join.
  return WithoutQuotes(items.join(QLatin1Char(',')));
}

void TextToFont(const QString& text, TFontSpec* font)
{
  if (font == nullptr)
    return;
  const QString plain = WithoutQuotes(text);
  const qsizetype comma = plain.indexOf(QLatin1Char(','));
  const QString name = comma < 0 ? plain : plain.left(comma);
  const QString rest = comma < 0 ? QString() : plain.mid(comma + 1);
  // The name is quoted so that its blanks survive; the rest is split at
  // blanks as well as commas, which is why extra blanks there change the count.
  const QString commaText = QLatin1Char('"') + name + QStringLiteral("\",") + rest;
  const QStringList items = SplitCommaText(commaText);
  if (items.size() != 8)
    return;

  QFont& f = font->Font;
  f.setFamily(items[0]);
  int size = 0;
  if (ParseInt(items[1], size)) {
    if (size > 0)
      f.setPointSize(size);
    else if (size < 0)
      f.setPixelSize(-size);
  }
  f.setBold(!items[2].isEmpty());
  f.setItalic(!items[3].isEmpty());
  f.setUnderline(!items[4].isEmpty());
  f.setStrikeOut(!items[5].isEmpty());
  int charset = 1;
  font->Charset = ParseInt(items[6], charset) ? charset : 1;
  int color = clWindowText;
  font->Color = ParseInt(items[7], color) ? color : clWindowText;
}

// ---- time helpers ----

int SecondsToTime(qint64 seconds, QTime& time)
{
  if (seconds < 0 || seconds >= 24 * 3600) {
    time = QTime(0, 15, 0);
    return 0;
  }
  time = QTime(static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60),
               static_cast<int>(seconds % 60));
  return 1;
}

int TimeToSeconds(const QTime& time, qint64& seconds)
{
  if (!time.isValid()) {
    seconds = 0;
    return 0;
  }
  seconds = time.hour() * 3600 + time.minute() * 60 + time.second();
  return 1;
}

int TimeToSeconds(double dayFraction, qint64& seconds)
{
  if (!std::isfinite(dayFraction) || dayFraction < 0) {
    seconds = 0;
    return 0;
  }
  constexpr qint64 msPerDay = 24LL * 3600 * 1000;
  // Rounded to whole milliseconds first: 0.5 is stored as 0.49999…, and
  // truncating it would give 11:59:59.
  qint64 ms = std::llround((dayFraction - std::floor(dayFraction)) * msPerDay);
  if (ms >= msPerDay)
    ms -= msPerDay;  // rounds up to the next midnight
  seconds = ms / 1000;
  return 1;
}

void LimitInterval(QTime& time)
{
  DropSeconds(time);
  // The shortest measuring interval is one minute.
  if (!time.isValid() || time == QTime(0, 0))
    time = QTime(0, 1);
}

void DropSeconds(QTime& time)
{
  if (time.isValid())
    time = QTime(time.hour(), time.minute());
}

// ---- other ----

QString TitleWord()
{
  const QString title = QCoreApplication::applicationName();
  const qsizetype blank = title.indexOf(QLatin1Char(' '));
  return blank < 0 ? title : title.left(blank);
}

QString TempFolder() { return QDir::tempPath(); }

QString NewTempFile()
{
  const QString folder = TempFolder();
  // Qt reports a temporary folder that does not exist as an empty path; the
  // template would then point at the root folder.
  if (folder.isEmpty() || !QFileInfo(folder).isDir())
    throw std::runtime_error("The temporary folder does not exist: " + qEnvironmentVariable("TMPDIR").toStdString());
  QTemporaryFile file(folder + QStringLiteral("/~CLXXXXXX.tmp"));
  // The series file outlives this call; its reader deletes it.
  file.setAutoRemove(false);
  if (!file.open())
    throw std::runtime_error(file.errorString().toStdString());
  const QString name = QFileInfo(file.fileName()).absoluteFilePath();
  file.close();
  return name;
}
