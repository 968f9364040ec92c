#pragma once

// Text formatting in the style the program's formats were written for:
// "%s%.2d-%.2d.mdb", "Data logger: ver.%d.%d (%dkB)" and the like. The format
// strings also travel through the translation catalogues, so a translated
// format that does not fit its arguments must never crash or read past them;
// it is reported as invalid and the caller falls back to the English text.
//
// Supported: %% and %[index:][-][width][.precision]type with type one of
// s d u x X f g e (upper case accepted as in the original format language).
// Width and precision may be '*', which takes the next integer argument.
//  - %d/%u/%x: precision is the minimum number of digits; %x prints upper case.
//  - %s: precision truncates the text.
//  - %f: precision decimals (default 2); %e/%g: precision significant digits
//    (default 15); exponents are written as E+ddd.
// Numbers never use thousands separators; the decimal separator comes from
// the locale passed in (QLocale::c() gives '.', so file and wire texts stay
// locale-independent). Floating-point values are rounded half away from zero
// on their shortest round-trip decimal form, and a value that rounds to zero
// is printed without a sign.

#include <QList>
#include <QLatin1String>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <string>

class TFmtArg {
 public:
  enum class Kind { Integer, Double, String };

  // Implicit on purpose: Format(fmt, {name, year, month}).
  TFmtArg(int value) : m_kind(Kind::Integer), m_int(value), m_narrow(true) {}
  TFmtArg(unsigned int value) : m_kind(Kind::Integer), m_int(value), m_narrow(true) {}
  TFmtArg(long value) : m_kind(Kind::Integer), m_int(value) {}
  TFmtArg(unsigned long value) : m_kind(Kind::Integer), m_int(static_cast<qint64>(value)) {}
  TFmtArg(long long value) : m_kind(Kind::Integer), m_int(value) {}
  TFmtArg(unsigned long long value) : m_kind(Kind::Integer), m_int(static_cast<qint64>(value)) {}
  TFmtArg(double value) : m_kind(Kind::Double), m_double(value) {}
  TFmtArg(const QString& value) : m_kind(Kind::String), m_string(value) {}
  TFmtArg(const char* value) : m_kind(Kind::String), m_string(QString::fromUtf8(value)) {}
  TFmtArg(QLatin1String value) : m_kind(Kind::String), m_string(value) {}
  TFmtArg(QStringView value) : m_kind(Kind::String), m_string(value.toString()) {}

  Kind kind() const { return m_kind; }
  qint64 toInteger() const { return m_int; }
  double toDouble() const { return m_double; }
  const QString& toString() const { return m_string; }
  // A 32-bit argument prints negative %x/%u values in 32 bits (FFFFFFFF for -1).
  bool isNarrow() const { return m_narrow; }

 private:
  Kind m_kind;
  qint64 m_int = 0;
  double m_double = 0;
  QString m_string;
  bool m_narrow = false;
};

// Formats fmt with args. *ok is false when the format and the arguments do not
// fit (type mismatch, missing or unused argument, unknown or unfinished
// specifier); the text is then a best effort.
QString Format(const QString& fmt, const QList<TFmtArg>& args, bool* ok = nullptr,
               const QLocale& locale = QLocale::c());

// Translates english and formats it. A translation whose specifiers do not fit
// the arguments is ignored and the English format is used instead.
QString TrFormat(const char* english, const QList<TFmtArg>& args,
                 const QLocale& locale = QLocale::c());

// Decimal digits of a double, shared by Format and FormatFloat so that both
// round the same way.
namespace DecimalText {
// value = 0.Digits × 10^Point; Digits has no leading or trailing zeros and is
// empty for zero.
struct TDecimal {
  bool Negative = false;
  std::string Digits;
  int Point = 0;
  bool isZero() const { return Digits.empty(); }
};

// Shortest decimal form that reads back as the same double (finite values only).
TDecimal Shortest(double value);
// Rounds half away from zero, keeping `decimals` digits after the point
// (negative: rounds to tens, hundreds ...).
void RoundToDecimals(TDecimal& d, int decimals);
// Rounds half away from zero to `digits` significant digits (at least 1).
void RoundToSignificant(TDecimal& d, int digits);
// Digits before the point, zero-padded on the left to at least minDigits.
std::string IntegerDigits(const TDecimal& d, int minDigits = 1);
// The first `count` digits after the point, zero-padded on the right.
std::string FractionDigits(const TDecimal& d, int count);
// "NaN", "INF", "-INF" for the non-finite values, empty for finite ones.
QString NonFinite(double value);
}  // namespace DecimalText
