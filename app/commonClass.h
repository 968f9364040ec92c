#pragma once

// Small process-wide helpers shared by every subsystem: decimal formats derived
// from a channel's divisor, value-axis scaling, version texts, the text form of
// a font, time-of-day conversions for the settings and temporary files.
// All functions are reentrant and may be called from any thread.

#include <QColor>
#include <QFont>
#include <QLocale>
#include <QString>
#include <QTime>

// ---- decimal divisor helpers (the divisor is a power of ten) ----
QString DecimalFormat(qint64 divisor);      // 100 -> "0.00"; unknown -> "0.00"
int DecimalsOf(qint64 divisor);             // 100 -> 2; unknown -> 2
qint64 DivisorOf(const QString& format);    // "0.00" -> 100; unknown -> 100

// Formats value with one of the pattern strings in use ("0", "0.0…0",
// "###0.###", "###0.0…"). The decimal separator comes from locale; ties round
// away from zero as the operator expects from the decimal value.
QString FormatFloat(const QString& pattern, double value, const QLocale& locale);

// ---- value axis ----
struct TAxisScale {
  double Lower = 0;
  double Upper = 1;
  double Increment = 0.1;
  QString Format = QStringLiteral("###0.0");
};
TAxisScale AxisScale(double max, double min);
void AxisScale(double max, double min, double& lower, double& upper, double& increment,
               QString& format);

// ---- version ----
// There is no version resource to read on this platform: the numbers are the
// build's own (AppVersion.h), so ReadVersion always succeeds and fileName is
// accepted only for the callers that name the program file.
bool ReadVersion(const QString& fileName, int& major, int& minor, int& release, int& build);
QString VersionText4(const QString& fileName = QString());  // "3.1.0.0"
QString VersionText3(const QString& fileName = QString());  // "3.1.0"
// Process-wide copies filled by ReadVersion; sent to the server at log-on.
struct TProgramVersion {
  int Major = 0, Minor = 0, Release = 0, Build = 0;
};
TProgramVersion ProgramVersion();

// ---- colours: files hold Windows BGR values, system colours as 0xFF0000nn ----
QColor ColorFromBGR(qint32 value);
qint32 ColorToBGR(const QColor& color);
inline constexpr qint32 clWindowText = static_cast<qint32>(0xFF000008u);

// ---- font text ----
// QFont has no character set or Windows colour, so the font text travels with
// them in side fields; a round trip through TextToFont/FontToText is byte-stable.
struct TFontSpec {
  QFont Font;
  int Charset = 1;                 // as read, written back unchanged
  qint32 Color = clWindowText;     // Windows colour value, system colours negative
};
QString FontToText(const TFontSpec* font);
void TextToFont(const QString& text, TFontSpec* font);

// ---- time helpers for the settings ----
int SecondsToTime(qint64 seconds, QTime& time);   // 1 ok, 0 failure (time := 00:15:00)
int TimeToSeconds(const QTime& time, qint64& seconds);
int TimeToSeconds(double dayFraction, qint64& seconds);  // date-time double
void LimitInterval(QTime& time);
void DropSeconds(QTime& time);

// ---- other ----
QString TitleWord();     // application title up to its first blank
QString TempFolder();
QString NewTempFile();   // new empty "~CL….tmp" file in TempFolder; throws std::runtime_error
