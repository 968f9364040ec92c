#include "model/baseXMLstor.h"

#include "app/dateTimeDouble.h"

#include <QLocale>
#include <QStringDecoder>
#include <QXmlStreamReader>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

TXmlLoadError::TXmlLoadError(const QString& message)
    : std::runtime_error(message.toStdString()), m_message(message)
{
}

TXmlElement::~TXmlElement() = default;

std::vector<const TXmlElement*> TXmlElement::Children(QStringView name) const
{
  std::vector<const TXmlElement*> result;
  for (const auto& item : Items) {
    if (item->Name == name)
      result.push_back(item.get());
  }
  return result;
}

const TXmlElement* TXmlElement::Child(QStringView name) const
{
  for (const auto& item : Items) {
    if (QStringView(item->Name).compare(name, Qt::CaseInsensitive) == 0)
      return item.get();
  }
  return nullptr;
}

const TXmlAttribute* TXmlElement::FindAttr(QStringView name) const
{
  for (const auto& attr : Attributes) {
    if (QStringView(attr.Name).compare(name, Qt::CaseInsensitive) == 0)
      return &attr;
  }
  return nullptr;
}

QString TXmlElement::Attr(QStringView name, const QString& defaultValue) const
{
  const TXmlAttribute* attr = FindAttr(name);
  return attr ? attr->Value : defaultValue;
}

const TXmlElement& TXmlElement::RequiredChild(QStringView name) const
{
  const TXmlElement* child = Child(name);
  if (!child) {
    throw TXmlLoadError(
        QStringLiteral("Element \"%1\" is missing in \"%2\".").arg(name.toString(), Name));
  }
  return *child;
}

QString TXmlElement::RequiredAttr(QStringView name) const
{
  const TXmlAttribute* attr = FindAttr(name);
  if (!attr) {
    throw TXmlLoadError(
        QStringLiteral("Attribute \"%1\" is missing in \"%2\".").arg(name.toString(), Name));
  }
  return attr->Value;
}

QString TXmlElement::RequiredChildText(QStringView name) const
{
  return RequiredChild(name).Text;
}

// ---------------------------------------------------------------------------
// Parsing

namespace {

bool HasBomOrWideEncoding(const QByteArray& data)
{
  const auto b = [&](int i) { return i < data.size() ? quint8(data[i]) : 0x100; };
  if (b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF)
    return true;
  if ((b(0) == 0xFE && b(1) == 0xFF) || (b(0) == 0xFF && b(1) == 0xFE))
    return true;
  // UTF-16/32 without a BOM: Qt recognises them from the zero bytes of "<".
  return b(0) == 0 || b(1) == 0;
}

// The encoding named by the XML declaration, empty when there is none.
QByteArray DeclaredEncoding(const QByteArray& data)
{
  if (!data.startsWith("<?xml"))
    return {};
  const qsizetype end = data.indexOf("?>");
  if (end < 0 || end > 1024)
    return {};
  const QByteArray decl = data.left(end);
  qsizetype i = decl.indexOf("encoding");
  if (i < 0)
    return {};
  i += 8;
  const auto skipBlanks = [&] {
    while (i < decl.size() &&
           (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' || decl[i] == '\n'))
      ++i;
  };
  skipBlanks();
  if (i >= decl.size() || decl[i] != '=')
    return {};
  ++i;
  skipBlanks();
  if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\''))
    return {};
  const char quote = decl[i++];
  const qsizetype close = decl.indexOf(quote, i);
  if (close < 0)
    return {};
  return decl.mid(i, close - i).trimmed();
}

bool IsUtf8Name(const QByteArray& name)
{
  const QByteArray lower = name.toLower();
  return lower == "utf-8" || lower == "utf8";
}

QString DecodeWindows1250(const QByteArray& data)
{
  QStringDecoder decoder("windows-1250");
  if (decoder.isValid())
    return decoder.decode(data);
  // Without ICU Qt knows no Windows code page; Latin-1 at least keeps ASCII
  // and every byte count intact.
  return QString::fromLatin1(data);
}

class TTreeBuilder {
 public:
  explicit TTreeBuilder(const TXmlLimits& limits) : m_limits(limits) {}

  std::unique_ptr<TXmlElement> Build(QXmlStreamReader& reader, QString* error)
  {
    // Prefixes are kept as part of the names: none of the program's formats
    // uses namespaces, and an undeclared prefix should not refuse a document.
    reader.setNamespaceProcessing(false);
    std::unique_ptr<TXmlElement> root;
    std::vector<TXmlElement*> stack;
    qsizetype elements = 0;
    qsizetype textChars = 0;
    QString refusal;
    while (!reader.atEnd() && refusal.isEmpty()) {
      switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
          if (qsizetype(stack.size()) >= m_limits.MaxDepth) {
            refusal = QStringLiteral("The document is nested deeper than %1 levels.")
                          .arg(m_limits.MaxDepth);
            break;
          }
          if (++elements > m_limits.MaxElements) {
            refusal =
                QStringLiteral("The document has more than %1 elements.").arg(m_limits.MaxElements);
            break;
          }
          auto element = std::make_unique<TXmlElement>();
          element->Name = reader.qualifiedName().toString();
          const QXmlStreamAttributes attributes = reader.attributes();
          element->Attributes.reserve(attributes.size());
          for (const QXmlStreamAttribute& attr : attributes) {
            textChars += attr.value().size();
            element->Attributes.push_back(
                {attr.qualifiedName().toString(), attr.value().toString()});
          }
          TXmlElement* raw = element.get();
          if (stack.empty())
            root = std::move(element);
          else
            stack.back()->Items.push_back(std::move(element));
          stack.push_back(raw);
          break;
        }
        case QXmlStreamReader::EndElement:
          if (!stack.empty())
            stack.pop_back();
          break;
        case QXmlStreamReader::Characters:
          if (!stack.empty()) {
            textChars += reader.text().size();
            stack.back()->Text += reader.text();
          }
          break;
        case QXmlStreamReader::DTD:
          // Qt never fetches external entities and would silently drop their
          // references from the text; refusing says what is wrong instead.
          for (const QXmlStreamEntityDeclaration& decl : reader.entityDeclarations()) {
            if (!decl.systemId().isEmpty() || !decl.publicId().isEmpty()) {
              refusal = QStringLiteral("The external entity \"%1\" is not supported.")
                            .arg(decl.name().toString());
              break;
            }
          }
          break;
        case QXmlStreamReader::EntityReference:
          // Only entities the parser could not expand arrive here (external
          // ones, which are never fetched); the text would silently lack them.
          refusal =
              QStringLiteral("The entity \"%1\" cannot be resolved.").arg(reader.name().toString());
          break;
        default:
          break;
      }
      // Internal entities may expand a small input into a large text; the
      // element limit alone does not bound that.
      if (refusal.isEmpty() && textChars > m_limits.MaxBytes * 2)
        refusal =
            QStringLiteral("The document's text exceeds %1 characters.").arg(m_limits.MaxBytes * 2);
    }
    if (refusal.isEmpty() && reader.hasError()) {
      refusal = QStringLiteral("XML error at line %1, column %2: %3")
                    .arg(reader.lineNumber())
                    .arg(reader.columnNumber())
                    .arg(reader.errorString());
    }
    if (refusal.isEmpty() && !root)
      refusal = QStringLiteral("The document has no root element.");
    if (!refusal.isEmpty()) {
      if (error)
        *error = refusal;
      return nullptr;
    }
    return root;
  }

 private:
  const TXmlLimits& m_limits;
};

}  // namespace

std::unique_ptr<TXmlElement> ParseXml(const QByteArray& data, QString* error,
                                      const TXmlLimits& limits)
{
  if (data.size() > limits.MaxBytes) {
    if (error)
      *error = QStringLiteral("The document is larger than %1 bytes.").arg(limits.MaxBytes);
    return nullptr;
  }
  TTreeBuilder builder(limits);
  if (!HasBomOrWideEncoding(data)) {
    const QByteArray declared = DeclaredEncoding(data);
    if (declared.isEmpty() || IsUtf8Name(declared)) {
      QStringDecoder utf8(QStringDecoder::Utf8);
      QString text = utf8.decode(data);
      if (utf8.hasError())
        text = DecodeWindows1250(data);
      // A reader given a string keeps its encoding and ignores the declaration.
      QXmlStreamReader reader(text);
      return builder.Build(reader, error);
    }
  }
  QXmlStreamReader reader(data);
  return builder.Build(reader, error);
}

std::unique_ptr<TXmlElement> ParseXmlOrThrow(const QByteArray& data, const TXmlLimits& limits)
{
  QString error;
  std::unique_ptr<TXmlElement> root = ParseXml(data, &error, limits);
  if (!root)
    throw TXmlLoadError(error);
  return root;
}

// ---------------------------------------------------------------------------
// Value syntax

namespace {

bool IsBlank(QChar c)
{
  return c == u' ' || c == u'\t';
}

int HexDigit(QChar c)
{
  const char16_t u = c.unicode();
  if (u >= u'0' && u <= u'9')
    return u - u'0';
  if (u >= u'a' && u <= u'f')
    return u - u'a' + 10;
  if (u >= u'A' && u <= u'F')
    return u - u'A' + 10;
  return -1;
}

struct TIntText {
  bool Negative = false;
  bool Hex = false;
  quint64 Magnitude = 0;
};

// The integer syntax shared by all documents; false for any other form,
// including a magnitude beyond 64 bits.
bool ScanInt(QStringView text, TIntText& out)
{
  qsizetype i = 0;
  const qsizetype n = text.size();
  while (i < n && IsBlank(text[i]))
    ++i;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) {
    out.Negative = text[i] == u'-';
    ++i;
  }
  if (i < n && (text[i] == u'$' || text[i] == u'x' || text[i] == u'X')) {
    out.Hex = true;
    ++i;
  } else if (i + 1 < n && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
    out.Hex = true;
    i += 2;
  }
  const quint64 base = out.Hex ? 16 : 10;
  const qsizetype first = i;
  quint64 value = 0;
  for (; i < n; ++i) {
    const int digit = HexDigit(text[i]);
    if (digit < 0 || quint64(digit) >= base)
      return false;
    if (value > (std::numeric_limits<quint64>::max() - quint64(digit)) / base)
      return false;
    value = value * base + quint64(digit);
  }
  if (i == first)
    return false;
  out.Magnitude = value;
  return true;
}

quint64 Negated(const TIntText& t)
{
  return t.Negative ? 0 - t.Magnitude : t.Magnitude;
}

std::string AsciiTrimmed(QStringView text, bool* ascii)
{
  qsizetype begin = 0;
  qsizetype end = text.size();
  while (begin < end && IsBlank(text[begin]))
    ++begin;
  while (end > begin && IsBlank(text[end - 1]))
    --end;
  std::string result;
  result.reserve(size_t(end - begin));
  *ascii = true;
  for (qsizetype i = begin; i < end; ++i) {
    const char16_t u = text[i].unicode();
    if (u > 0x7F) {
      *ascii = false;
      return {};
    }
    result.push_back(char(u));
  }
  return result;
}

}  // namespace

bool XmlTryInt(QStringView text, qint32* value)
{
  TIntText t;
  if (!ScanInt(text, t))
    return false;
  // Decimal text is a signed 64-bit number; hexadecimal may use all 64 bits.
  if (!t.Hex) {
    const quint64 limit = quint64(std::numeric_limits<qint64>::max()) + (t.Negative ? 1u : 0u);
    if (t.Magnitude > limit)
      return false;
  }
  if (value)
    *value = static_cast<qint32>(static_cast<quint32>(Negated(t)));
  return true;
}

qint32 XmlInt(QStringView text)
{
  qint32 value = -1;
  return XmlTryInt(text, &value) ? value : -1;
}

qint32 XmlStrictInt(QStringView text, bool* ok)
{
  TIntText t;
  bool good = ScanInt(text, t);
  if (good) {
    const quint64 limit = t.Hex ? 0xFFFFFFFFull : (t.Negative ? 0x80000000ull : 0x7FFFFFFFull);
    good = t.Magnitude <= limit;
  }
  if (ok)
    *ok = good;
  return good ? static_cast<qint32>(static_cast<quint32>(Negated(t))) : 0;
}

bool XmlTryBool(QStringView text, bool* ok)
{
  bool good = true;
  bool result = false;
  TIntText t;
  if (text.compare(u"True", Qt::CaseInsensitive) == 0) {
    result = true;
  } else if (text.compare(u"False", Qt::CaseInsensitive) == 0) {
    result = false;
  } else if (ScanInt(text, t)) {
    result = t.Magnitude != 0;
  } else {
    const double number = XmlDecimalDot(text, &good);
    result = good && number != 0.0;
  }
  if (ok)
    *ok = good;
  return result;
}

bool XmlBool(QStringView text)
{
  return XmlTryBool(text, nullptr);
}

double XmlDecimalDot(QStringView text, bool* ok)
{
  bool ascii = false;
  std::string s = AsciiTrimmed(text, &ascii);
  const char* begin = s.data();
  const char* end = s.data() + s.size();
  // from_chars knows no leading '+', which the documents' writers may emit.
  if (begin != end && *begin == '+' && end - begin > 1 && begin[1] != '-')
    ++begin;
  double value = 0.0;
  bool good = ascii && begin != end;
  if (good) {
    const auto r = std::from_chars(begin, end, value, std::chars_format::general);
    good = r.ec == std::errc() && r.ptr == end;
  }
  if (ok)
    *ok = good;
  return good ? value : 0.0;
}

double XmlDecimal(QStringView text, bool* ok)
{
  bool good = false;
  double value = XmlDecimalDot(text, &good);
  if (!good) {
    QLocale system = QLocale::system();
    if (system.decimalPoint() != QStringLiteral(".")) {
      // Refusing group separators keeps "1.5" on a comma system from being
      // read as 15 and makes the fallback accept only decimal numbers.
      system.setNumberOptions(QLocale::RejectGroupSeparator);
      value = system.toDouble(text.trimmed(), &good);
    }
  }
  if (ok)
    *ok = good;
  return good ? value : 0.0;
}

QString XmlDecimalText(double value)
{
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 2);
  if (r.ec == std::errc()) {
    double back = 0.0;
    const auto b = std::from_chars(buf, r.ptr, back);
    if (b.ec == std::errc() && back == value)
      return QString::fromLatin1(buf, r.ptr - buf);
  }
  r = std::to_chars(buf, buf + sizeof buf, value);
  return QString::fromLatin1(buf, r.ptr - buf);
}

QString XmlBoolText(bool value)
{
  return value ? QStringLiteral("-1") : QStringLiteral("0");
}

QString XmlIntText(qint32 value)
{
  return QString::number(value);
}

// ---------------------------------------------------------------------------
// US-English date-time texts

namespace {

QString TwoDigits(int value)
{
  return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Blanks between the parts; Qt's and the system's US formats put a narrow or
// ordinary no-break space before AM/PM, which is accepted as well.
bool IsDateBlank(QChar c)
{
  return c == u' ' || c == u'\t' || c == QChar(0x00A0) || c == QChar(0x202F);
}

class TDateScanner {
 public:
  explicit TDateScanner(QStringView text) : m_text(text) {}

  void SkipBlanks()
  {
    while (m_pos < m_text.size() && IsDateBlank(m_text[m_pos]))
      ++m_pos;
  }
  bool AtEnd() const { return m_pos >= m_text.size(); }
  bool Take(QChar c)
  {
    if (AtEnd() || m_text[m_pos] != c)
      return false;
    ++m_pos;
    return true;
  }
  bool TakeWord(QStringView word)
  {
    if (m_text.size() - m_pos < word.size() ||
        m_text.mid(m_pos, word.size()).compare(word, Qt::CaseInsensitive) != 0)
      return false;
    m_pos += word.size();
    return true;
  }
  bool Number(int minDigits, int maxDigits, int& value)
  {
    int digits = 0;
    value = 0;
    while (!AtEnd() && digits < maxDigits && m_text[m_pos] >= u'0' && m_text[m_pos] <= u'9') {
      value = value * 10 + (m_text[m_pos].unicode() - u'0');
      ++m_pos;
      ++digits;
    }
    // A further digit would make the field longer than allowed.
    if (!AtEnd() && m_text[m_pos] >= u'0' && m_text[m_pos] <= u'9')
      return false;
    return digits >= minDigits;
  }

 private:
  QStringView m_text;
  qsizetype m_pos = 0;
};

}  // namespace

QString FormatUsDateTime(double dayCount)
{
  QDate date;
  QTime time;
  if (!DoubleToDateTime(dayCount, date, time))
    return QString();
  QString text = QString::number(date.month()) + u'/' + QString::number(date.day()) + u'/' +
                 QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
  if (time.msecsSinceStartOfDay() == 0)
    return text;
  const int hour = time.hour();
  const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
  text += u' ' + QString::number(hour12) + u':' + TwoDigits(time.minute()) + u':' +
          TwoDigits(time.second()) + (hour < 12 ? QStringLiteral(" AM") : QStringLiteral(" PM"));
  return text;
}

bool ParseUsDateTime(QStringView text, double* out)
{
  TDateScanner s(text);
  int month = 0, day = 0, year = 0;
  s.SkipBlanks();
  if (!s.Number(1, 2, month) || !s.Take(u'/') || !s.Number(1, 2, day) || !s.Take(u'/') ||
      !s.Number(4, 4, year))
    return false;
  const QDate date(year, month, day);
  if (!date.isValid())
    return false;
  s.SkipBlanks();
  int hour = 0, minute = 0, second = 0;
  if (!s.AtEnd()) {
    if (!s.Number(1, 2, hour) || !s.Take(u':') || !s.Number(1, 2, minute))
      return false;
    if (s.Take(u':') && !s.Number(1, 2, second))
      return false;
    s.SkipBlanks();
    const bool am = s.TakeWord(u"AM");
    const bool pm = !am && s.TakeWord(u"PM");
    s.SkipBlanks();
    if (!s.AtEnd())
      return false;
    if (am || pm) {
      if (hour > 12)
        return false;
      hour = hour % 12 + (pm ? 12 : 0);
    } else if (hour > 23) {
      return false;
    }
    if (minute > 59 || second > 59)
      return false;
  }
  if (out)
    *out = DateTimeToDouble(date, QTime(hour, minute, second));
  return true;
}

// ---- TbaseXMLstor ----

TbaseXMLstor::TbaseXMLstor()
{
  ClearWriter();
}

TbaseXMLstor::~TbaseXMLstor() = default;

void TbaseXMLstor::ClearWriter()
{
  m_writer.reset();
  m_bytes.clear();
  m_writer = std::make_unique<QXmlStreamWriter>(&m_bytes);
  m_writer->setAutoFormatting(true);
  m_writer->setAutoFormattingIndent(2);
}

void TbaseXMLstor::SetRoot(const QString& name)
{
  m_writer->writeStartDocument();
  m_writer->writeStartElement(name);
}

QString TbaseXMLstor::Text()
{
  m_writer->writeEndDocument();
  return QString::fromUtf8(m_bytes);
}
