#pragma once

// XML reading helpers shared by every document reader of the program (device
// types, main definitions, alarm documents, layout files): a small element
// tree with limits for untrusted input, the lookups the formats use, and the
// value syntax of their texts.

#include <QByteArray>
#include <QXmlStreamWriter>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <memory>
#include <stdexcept>
#include <vector>

// Thrown by the "required" lookups and by readers for a document that cannot
// be applied. Readers catch it at their boundary and report what() as text.
class TXmlLoadError : public std::runtime_error {
 public:
  explicit TXmlLoadError(const QString& message);
  QString Message() const { return m_message; }

 private:
  QString m_message;
};

struct TXmlAttribute {
  QString Name;
  QString Value;
};

// One element of a parsed document. Thread contract: a finished tree is
// read-only and may be read from any thread.
class TXmlElement {
 public:
  TXmlElement() = default;
  TXmlElement(const TXmlElement&) = delete;
  TXmlElement& operator=(const TXmlElement&) = delete;
  ~TXmlElement();

  QString Name;
  // The element's own character data (text and CDATA, entity references
  // decoded), concatenated; the text of child elements is not included.
  QString Text;
  std::vector<TXmlAttribute> Attributes;            // document order
  std::vector<std::unique_ptr<TXmlElement>> Items;  // child elements, document order

  // Repeated elements: direct children with exactly this name (case-sensitive),
  // in document order.
  std::vector<const TXmlElement*> Children(QStringView name) const;
  // Single elements and attributes: first occurrence, name compared without
  // regard to letter case; null when absent.
  const TXmlElement* Child(QStringView name) const;
  const TXmlAttribute* FindAttr(QStringView name) const;
  bool HasAttr(QStringView name) const { return FindAttr(name) != nullptr; }
  // Attribute value, or defaultValue when absent.
  QString Attr(QStringView name, const QString& defaultValue = QString()) const;

  // As above, but a missing item throws TXmlLoadError naming it and this element.
  const TXmlElement& RequiredChild(QStringView name) const;
  QString RequiredAttr(QStringView name) const;
  // Text of a required child element.
  QString RequiredChildText(QStringView name) const;
};

// Limits against hostile or broken input; the defaults suit every document the
// program reads.
struct TXmlLimits {
  qsizetype MaxBytes = 64 * 1024 * 1024;
  int MaxDepth = 64;
  qsizetype MaxElements = 2000000;
};

// Parses a whole document into an element tree; null with *error set when the
// document is malformed, empty or exceeds a limit. A BOM or the XML declaration
// selects the encoding, UTF-8 otherwise; text that is not valid UTF-8 although
// UTF-8 applies is read again as Windows-1250, the encoding older servers wrote
// without declaring it. DTDs are not processed beyond Qt's internal entities,
// whose expansion Qt limits. Thread contract: any thread.
std::unique_ptr<TXmlElement> ParseXml(const QByteArray& data, QString* error,
                                      const TXmlLimits& limits = TXmlLimits());
// The same, throwing TXmlLoadError with the parser's message.
std::unique_ptr<TXmlElement> ParseXmlOrThrow(const QByteArray& data,
                                             const TXmlLimits& limits = TXmlLimits());

// ---- value syntax ----

// Integer: optional leading blanks, optional sign, decimal digits, or hex digits
// after "$", "x", "X", "0x" or "0X"; read as 64-bit and kept as the low 32 bits.
// Any other form (trailing characters, empty text, 64-bit overflow) gives -1.
qint32 XmlInt(QStringView text);
// The same syntax; false when the text has any other form (so callers can tell
// "-1" from garbage and apply their own default).
bool XmlTryInt(QStringView text, qint32* value);
// Same syntax read as 32-bit (decimal within the signed range, hex up to
// 0xFFFFFFFF); *ok false for any other form.
qint32 XmlStrictInt(QStringView text, bool* ok);

// A number (true when not zero) or "True"/"False" in any letter case; anything
// else is false.
bool XmlBool(QStringView text);
// As XmlBool, but *ok tells whether the text was one of the accepted forms.
bool XmlTryBool(QStringView text, bool* ok);

// Decimal with '.' first, then the system locale's decimal separator; 0 (and
// *ok false) for anything else.
double XmlDecimal(QStringView text, bool* ok = nullptr);
// Decimal with '.' only, independent of the locale; 0 and *ok false otherwise.
double XmlDecimalDot(QStringView text, bool* ok = nullptr);

// Decimal text with '.': two decimals when that reads back as the same double,
// otherwise the shortest text that does.
QString XmlDecimalText(double value);
// Boolean as the documents write it: "-1" or "0".
QString XmlBoolText(bool value);
// Integer in decimal.
QString XmlIntText(qint32 value);

// ---- US-English date-time texts ----
// Fixed here instead of taken from Qt's locale data, whose formats change
// between versions (blanks before AM/PM, for instance).

// "M/d/yyyy h:mm:ss AM|PM"; the time part is left out when the time is exactly
// midnight. Empty for a value outside the years 1..9999 or not finite.
QString FormatUsDateTime(double dayCount);
// M/d/yyyy, optionally followed by h:mm[:ss] and an optional AM/PM (12 AM is
// 0 h, 12 PM is 12 h; 24-hour times without AM/PM). False for anything else.
bool ParseUsDateTime(QStringView text, double* out);

// ---- writing ----

// Base of the writers of the small documents (alarm definitions and
// bindings): one XML writer producing indented UTF-8 text with the prolog.
class TbaseXMLstor {
 public:
  TbaseXMLstor();
  TbaseXMLstor(const TbaseXMLstor&) = delete;
  TbaseXMLstor& operator=(const TbaseXMLstor&) = delete;
  virtual ~TbaseXMLstor();

 protected:
  // Drops whatever was written and starts a fresh document.
  void ClearWriter();
  // Writes the prolog and opens the root element.
  void SetRoot(const QString& name);
  QXmlStreamWriter& Xml() { return *m_writer; }
  // Closes every open element and returns the document.
  QString Text();

 private:
  QByteArray m_bytes;
  std::unique_ptr<QXmlStreamWriter> m_writer;
};
