#include "app/textFormat.h"

#include "app/translation.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace DecimalText {

TDecimal Shortest(double value)
{
  TDecimal d;
  d.Negative = std::signbit(value);
  if (!std::isfinite(value) || value == 0)
    return d;
  // Scientific shortest form ("d.ddde+XX") keeps the buffer small for any
  // magnitude and gives the exponent directly.
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
  const char* p = buf;
  for (; p != res.ptr && *p != 'e'; ++p) {
    if (*p >= '0' && *p <= '9')
      d.Digits.push_back(*p);
  }
  int exponent = 0;
  if (p != res.ptr) {
    ++p;  // 'e'
    if (p != res.ptr && *p == '+')
      ++p;
    std::from_chars(p, res.ptr, exponent);
  }
  while (!d.Digits.empty() && d.Digits.back() == '0')
    d.Digits.pop_back();
  d.Point = d.Digits.empty() ? 0 : exponent + 1;
  return d;
}

namespace {
// Keeps the first `keep` digits, rounding half away from zero on the next one.
void RoundAt(TDecimal& d, long long keep)
{
  if (keep >= static_cast<long long>(d.Digits.size()))
    return;
  if (keep < 0) {
    d.Digits.clear();
    d.Point = 0;
    return;
  }
  const bool up = d.Digits[static_cast<size_t>(keep)] >= '5';
  d.Digits.resize(static_cast<size_t>(keep));
  if (up) {
    while (!d.Digits.empty() && d.Digits.back() == '9')
      d.Digits.pop_back();
    if (d.Digits.empty()) {
      d.Digits = "1";
      ++d.Point;
    } else {
      ++d.Digits.back();
    }
  } else {
    while (!d.Digits.empty() && d.Digits.back() == '0')
      d.Digits.pop_back();
    if (d.Digits.empty())
      d.Point = 0;
  }
}
}  // namespace

void RoundToDecimals(TDecimal& d, int decimals)
{
  if (!d.isZero())
    RoundAt(d, static_cast<long long>(d.Point) + decimals);
}

void RoundToSignificant(TDecimal& d, int digits)
{
  if (!d.isZero())
    RoundAt(d, digits < 1 ? 1 : digits);
}

std::string IntegerDigits(const TDecimal& d, int minDigits)
{
  std::string out;
  if (d.Point > 0) {
    const size_t have = d.Digits.size();
    const size_t point = static_cast<size_t>(d.Point);
    out.assign(d.Digits, 0, point < have ? point : have);
    if (point > have)
      out.append(point - have, '0');
  }
  if (minDigits > 0 && out.size() < static_cast<size_t>(minDigits))
    out.insert(0, static_cast<size_t>(minDigits) - out.size(), '0');
  return out;
}

std::string FractionDigits(const TDecimal& d, int count)
{
  std::string out;
  if (count <= 0)
    return out;
  out.reserve(static_cast<size_t>(count));
  const long long have = static_cast<long long>(d.Digits.size());
  for (int i = 0; i < count; ++i) {
    const long long index = static_cast<long long>(d.Point) + i;
    out.push_back(index >= 0 && index < have ? d.Digits[static_cast<size_t>(index)] : '0');
  }
  return out;
}

QString NonFinite(double value)
{
  if (std::isnan(value))
    return QStringLiteral("NaN");
  if (std::isinf(value))
    return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
  return QString();
}

}  // namespace DecimalText

namespace {
using DecimalText::TDecimal;

// Widths and precisions beyond this are typos or hostile translations; they
// would only allocate huge strings.
constexpr int kMaxField = 4096;

QString Latin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

QString UnsignedText(quint64 value, int base, int minDigits)
{
  char buf[72];
  const auto res = std::to_chars(buf, buf + sizeof buf, value, base);
  std::string digits(buf, res.ptr);
  if (base == 16) {
    for (char& c : digits) {
      if (c >= 'a' && c <= 'f')
        c = static_cast<char>(c - 'a' + 'A');
    }
  }
  if (minDigits > 0 && digits.size() < static_cast<size_t>(minDigits))
    digits.insert(0, static_cast<size_t>(minDigits) - digits.size(), '0');
  return Latin1(digits);
}

QString SignedText(qint64 value, int minDigits)
{
  // 0 - unsigned avoids the overflow of negating the smallest qint64.
  const quint64 magnitude = value < 0 ? 0 - static_cast<quint64>(value) : static_cast<quint64>(value);
  const QString digits = UnsignedText(magnitude, 10, minDigits);
  return value < 0 ? QLatin1Char('-') + digits : digits;
}

QString FixedText(double value, int decimals, const QLocale& locale)
{
  const QString special = DecimalText::NonFinite(value);
  if (!special.isEmpty())
    return special;
  TDecimal d = DecimalText::Shortest(value);
  DecimalText::RoundToDecimals(d, decimals);
  QString text;
  if (d.Negative && !d.isZero())
    text += QLatin1Char('-');
  text += Latin1(DecimalText::IntegerDigits(d));
  if (decimals > 0)
    text += locale.decimalPoint() + Latin1(DecimalText::FractionDigits(d, decimals));
  return text;
}

QString ExponentText(int exponent)
{
  QString text = exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
  return text + UnsignedText(static_cast<quint64>(exponent < 0 ? -exponent : exponent), 10, 3);
}

QString ScientificText(double value, int digits, const QLocale& locale)
{
  const QString special = DecimalText::NonFinite(value);
  if (!special.isEmpty())
    return special;
  digits = digits < 1 ? 1 : digits;
  TDecimal d = DecimalText::Shortest(value);
  DecimalText::RoundToSignificant(d, digits);
  std::string mantissa = d.Digits;
  mantissa.resize(static_cast<size_t>(digits), '0');
  if (d.isZero())
    mantissa[0] = '0';
  QString text;
  if (d.Negative && !d.isZero())
    text += QLatin1Char('-');
  text += QLatin1Char(mantissa[0]);
  if (digits > 1)
    text += locale.decimalPoint() + Latin1(mantissa.substr(1));
  return text + ExponentText(d.isZero() ? 0 : d.Point - 1);
}

QString GeneralText(double value, int digits, const QLocale& locale)
{
  const QString special = DecimalText::NonFinite(value);
  if (!special.isEmpty())
    return special;
  digits = digits < 1 ? 1 : digits;
  TDecimal d = DecimalText::Shortest(value);
  DecimalText::RoundToSignificant(d, digits);
  if (d.isZero())
    return QStringLiteral("0");
  QString text;
  if (d.Negative)
    text += QLatin1Char('-');
  const int count = static_cast<int>(d.Digits.size());
  // Fixed while every integer digit is significant and the value is not below 0.00001.
  if (d.Point <= digits && d.Point >= -4) {
    text += Latin1(DecimalText::IntegerDigits(d));
    const int decimals = count - d.Point;
    if (decimals > 0)
      text += locale.decimalPoint() + Latin1(DecimalText::FractionDigits(d, decimals));
    return text;
  }
  text += QLatin1Char(d.Digits[0]);
  if (count > 1)
    text += locale.decimalPoint() + Latin1(d.Digits.substr(1));
  return text + ExponentText(d.Point - 1);
}

// What a mismatched argument looks like when it is printed anyway.
QString NaturalText(const TFmtArg& arg, const QLocale& locale)
{
  switch (arg.kind()) {
    case TFmtArg::Kind::Integer:
      return SignedText(arg.toInteger(), 0);
    case TFmtArg::Kind::Double:
      return GeneralText(arg.toDouble(), 15, locale);
    case TFmtArg::Kind::String:
      break;
  }
  return arg.toString();
}

class TFormatter {
 public:
  TFormatter(const QString& fmt, const QList<TFmtArg>& args, const QLocale& locale)
      : m_fmt(fmt), m_args(args), m_locale(locale), m_used(static_cast<size_t>(args.size()), false)
  {
  }

  QString run(bool& ok)
  {
    const qsizetype n = m_fmt.size();
    m_out.reserve(n + 16 * m_args.size());
    qsizetype i = 0;
    while (i < n) {
      const qsizetype percent = m_fmt.indexOf(QLatin1Char('%'), i);
      if (percent < 0) {
        m_out += QStringView(m_fmt).mid(i);
        break;
      }
      m_out += QStringView(m_fmt).mid(i, percent - i);
      i = specifier(percent);
    }
    for (bool used : m_used) {
      if (!used)
        m_ok = false;
    }
    ok = m_ok;
    return m_out;
  }

 private:
  bool atEnd(qsizetype i) const { return i >= m_fmt.size(); }
  bool isDigit(qsizetype i) const
  {
    return !atEnd(i) && m_fmt[i] >= QLatin1Char('0') && m_fmt[i] <= QLatin1Char('9');
  }

  // Next argument in sequence, or nullptr (and invalid) when there is none.
  const TFmtArg* take()
  {
    if (m_next < 0 || m_next >= m_args.size()) {
      m_ok = false;
      return nullptr;
    }
    m_used[static_cast<size_t>(m_next)] = true;
    return &m_args[m_next++];
  }

  int takeInteger()
  {
    const TFmtArg* arg = take();
    if (arg == nullptr)
      return 0;
    if (arg->kind() != TFmtArg::Kind::Integer) {
      m_ok = false;
      return 0;
    }
    const qint64 v = arg->toInteger();
    if (v > kMaxField || v < -kMaxField) {
      m_ok = false;
      return v < 0 ? -kMaxField : kMaxField;
    }
    return static_cast<int>(v);
  }

  // A run of digits or '*' at i; false when there is neither.
  bool number(qsizetype& i, int& value)
  {
    if (!atEnd(i) && m_fmt[i] == QLatin1Char('*')) {
      ++i;
      value = takeInteger();
      return true;
    }
    if (!isDigit(i))
      return false;
    long long v = 0;
    while (isDigit(i)) {
      if (v <= kMaxField)
        v = v * 10 + (m_fmt[i].unicode() - '0');
      ++i;
    }
    if (v > kMaxField) {
      m_ok = false;
      v = kMaxField;
    }
    value = static_cast<int>(v);
    return true;
  }

  // Handles the specifier starting at the '%' at start; returns the index after it.
  qsizetype specifier(qsizetype start)
  {
    qsizetype i = start + 1;
    if (!atEnd(i) && m_fmt[i] == QLatin1Char('%')) {
      m_out += QLatin1Char('%');
      return i + 1;
    }
    bool left = false;
    int width = 0;
    int precision = -1;
    int value = 0;
    bool haveWidth = false;
    if (number(i, value)) {
      if (!atEnd(i) && m_fmt[i] == QLatin1Char(':')) {
        // "%1:s": translations may reorder the arguments.
        m_next = value;
        ++i;
      } else {
        width = value;
        haveWidth = true;
      }
    }
    if (!haveWidth) {
      if (!atEnd(i) && m_fmt[i] == QLatin1Char('-')) {
        left = true;
        ++i;
      }
      if (number(i, value))
        width = value;
    }
    if (width < 0) {
      // A negative '*' width left-justifies, as a '-' flag would.
      left = true;
      width = -width;
    }
    if (!atEnd(i) && m_fmt[i] == QLatin1Char('.')) {
      ++i;
      precision = 0;
      if (number(i, value))
        precision = value < 0 ? -1 : value;
    }
    if (atEnd(i)) {
      m_ok = false;
      m_out += QStringView(m_fmt).mid(start);
      return i;
    }
    const char16_t type = QChar::toLower(m_fmt[i].unicode());
    ++i;
    if (type != u's' && type != u'd' && type != u'u' && type != u'x' && type != u'f' && type != u'g'
        && type != u'e') {
      m_ok = false;
      m_out += QStringView(m_fmt).mid(start, i - start);
      return i;
    }
    const TFmtArg* arg = take();
    if (arg == nullptr) {
      m_out += QStringView(m_fmt).mid(start, i - start);
      return i;
    }
    QString text = convert(type, *arg, precision);
    if (width > text.size()) {
      const QString fill(width - text.size(), QLatin1Char(' '));
      text = left ? text + fill : fill + text;
    }
    m_out += text;
    return i;
  }

  QString convert(char16_t type, const TFmtArg& arg, int precision)
  {
    switch (type) {
      case u's':
        if (arg.kind() != TFmtArg::Kind::String)
          break;
        return precision >= 0 ? arg.toString().left(precision) : arg.toString();
      case u'd':
        if (arg.kind() != TFmtArg::Kind::Integer)
          break;
        return SignedText(arg.toInteger(), precision);
      case u'u':
      case u'x': {
        if (arg.kind() != TFmtArg::Kind::Integer)
          break;
        const qint64 v = arg.toInteger();
        const quint64 bits = arg.isNarrow() && v < 0 ? static_cast<quint32>(v) : static_cast<quint64>(v);
        return UnsignedText(bits, type == u'x' ? 16 : 10, precision);
      }
      case u'f':
      case u'e':
      case u'g': {
        if (arg.kind() == TFmtArg::Kind::String)
          break;
        // An integer for a float specifier is a mismatch, but its value is
        // still the best guess at what the text should show.
        if (arg.kind() != TFmtArg::Kind::Double)
          m_ok = false;
        const double v = arg.kind() == TFmtArg::Kind::Double ? arg.toDouble()
                                                              : static_cast<double>(arg.toInteger());
        if (type == u'f')
          return FixedText(v, precision < 0 ? 2 : precision, m_locale);
        if (type == u'e')
          return ScientificText(v, precision < 0 ? 15 : precision, m_locale);
        return GeneralText(v, precision < 0 ? 15 : precision, m_locale);
      }
      default:
        break;
    }
    m_ok = false;
    return NaturalText(arg, m_locale);
  }

  const QString& m_fmt;
  const QList<TFmtArg>& m_args;
  const QLocale& m_locale;
  std::vector<bool> m_used;
  QString m_out;
  qsizetype m_next = 0;
  bool m_ok = true;
};
}  // namespace

QString Format(const QString& fmt, const QList<TFmtArg>& args, bool* ok, const QLocale& locale)
{
  bool valid = false;
  QString text = TFormatter(fmt, args, locale).run(valid);
  if (ok != nullptr)
    *ok = valid;
  return text;
}

QString TrFormat(const char* english, const QList<TFmtArg>& args, const QLocale& locale)
{
  const QString translated = Tr(english);
  bool ok = false;
  QString text = Format(translated, args, &ok, locale);
  if (ok)
    return text;
  const QString source = QString::fromUtf8(english);
  if (translated == source)
    return text;
  return Format(source, args, nullptr, locale);
}
