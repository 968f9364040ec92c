#include "app/translation.h"

#include "app/appSettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSettings>
#include <QStringDecoder>

#include <cstring>
#include <memory>

QString Tr(const char* english)
{
  return QCoreApplication::translate("dravolux", english);
}

QString DisplayText(QString text)
{
  text.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
  return text;
}

// ---- gettext catalogue ----

namespace {
constexpr quint32 kMoMagic = 0x950412deu;
constexpr quint32 kMoMagicSwapped = 0xde120495u;
constexpr qsizetype kHeaderSize = 28;
// Our catalogues hold a few hundred texts; anything near this size is not one.
constexpr qint64 kMaxCatalogueSize = 64LL * 1024 * 1024;

class TMoReader {
 public:
  explicit TMoReader(const QByteArray& data) : m_data(data) {}

  bool parse(QHash<QByteArray, QString>& messages, QString& error)
  {
    const quint64 size = static_cast<quint64>(m_data.size());
    if (m_data.size() < kHeaderSize)
      return fail(error, QStringLiteral("file too short"));
    const quint32 magic = word(0, false);
    if (magic == kMoMagic)
      m_swapped = false;
    else if (magic == kMoMagicSwapped)
      m_swapped = true;
    else
      return fail(error, QStringLiteral("not a gettext catalogue"));
    if ((word(4) >> 16) != 0)
      return fail(error, QStringLiteral("unsupported catalogue revision"));
    const quint64 count = word(8);
    const quint64 originals = word(12);
    const quint64 translations = word(16);
    // Each message needs two 8-byte descriptors and its two strings, so a
    // count beyond size / 16 cannot be genuine.
    if (count > size / 16)
      return fail(error, QStringLiteral("message count out of range"));
    if (originals + count * 8 > size || translations + count * 8 > size)
      return fail(error, QStringLiteral("string table past the end of the file"));

    // The header entry (empty original) names the character set of the rest.
    QByteArray charset;
    for (quint64 i = 0; i < count; ++i) {
      QByteArray original, translation;
      if (!string(originals + i * 8, original) || !string(translations + i * 8, translation))
        return fail(error, QStringLiteral("string past the end of the file"));
      if (original.isEmpty())
        charset = charsetOf(translation);
    }
    QStringDecoder decoder = decoderFor(charset);

    QHash<QByteArray, QString> result;
    result.reserve(static_cast<qsizetype>(count));
    for (quint64 i = 0; i < count; ++i) {
      QByteArray original, translation;
      string(originals + i * 8, original);
      string(translations + i * 8, translation);
      if (original.isEmpty())
        continue;
      // Plural entries hold "singular\0plural" and "form0\0form1..."; we key
      // by the singular and show the first form.
      original.truncate(static_cast<qsizetype>(qstrnlen(original.constData(), original.size())));
      translation.truncate(static_cast<qsizetype>(qstrnlen(translation.constData(), translation.size())));
      if (translation.isEmpty())
        continue;
      // "context\x04text": contexts are not used for lookup.
      const qsizetype eot = original.lastIndexOf('\x04');
      const bool hasContext = eot >= 0;
      if (hasContext)
        original = original.mid(eot + 1);
      if (hasContext && result.contains(original))
        continue;
      result.insert(original, decoder.decode(translation));
    }
    messages.swap(result);
    return true;
  }

 private:
  static bool fail(QString& error, const QString& why)
  {
    error = why;
    return false;
  }

  quint32 word(quint64 offset) const { return word(offset, m_swapped); }
  quint32 word(quint64 offset, bool swapped) const
  {
    const auto* p = reinterpret_cast<const uchar*>(m_data.constData()) + offset;
    if (swapped)
      return (quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) | quint32(p[3]);
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
  }

  // Reads the string whose (length, offset) descriptor is at `descriptor`;
  // the caller has checked that the descriptor lies inside the file.
  bool string(quint64 descriptor, QByteArray& out) const
  {
    const quint64 size = static_cast<quint64>(m_data.size());
    const quint64 length = word(descriptor);
    const quint64 offset = word(descriptor + 4);
    // gettext terminates every string with a NUL; its absence means a
    // damaged file, and the check keeps the read inside the data.
    if (offset + length + 1 > size || m_data[static_cast<qsizetype>(offset + length)] != '\0')
      return false;
    out = QByteArray(m_data.constData() + offset, static_cast<qsizetype>(length));
    return true;
  }

  static QByteArray charsetOf(const QByteArray& header)
  {
    const QByteArray lower = header.toLower();
    const qsizetype at = lower.indexOf("charset=");
    if (at < 0)
      return QByteArray();
    qsizetype end = at + 8;
    while (end < header.size() && header[end] != ';' && header[end] != '\n' && header[end] != ' '
           && header[end] != '\r' && header[end] != '\t')
      ++end;
    return header.mid(at + 8, end - at - 8);
  }

  static QStringDecoder decoderFor(const QByteArray& charset)
  {
    // "CHARSET" is the placeholder of an unfilled template.
    if (charset.isEmpty() || charset.compare("CHARSET", Qt::CaseInsensitive) == 0)
      return QStringDecoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QStringDecoder decoder(charset.constData(), QStringConverter::Flag::Stateless);
    if (decoder.isValid())
      return decoder;
    // Without a converter for the named single-byte set, Latin-1 at least
    // keeps the ASCII part of every text right.
    return QStringDecoder(QStringConverter::Latin1, QStringConverter::Flag::Stateless);
  }

  const QByteArray& m_data;
  bool m_swapped = false;
};
}  // namespace

TmoTranslator::TmoTranslator(QObject* parent) : QTranslator(parent) {}

bool TmoTranslator::loadMo(const QString& path, QString* error)
{
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error != nullptr)
      *error = file.errorString();
    return false;
  }
  if (file.size() > kMaxCatalogueSize) {
    if (error != nullptr)
      *error = QStringLiteral("file too large");
    return false;
  }
  const QByteArray data = file.readAll();
  return loadMoData(data, error);
}

bool TmoTranslator::loadMoData(const QByteArray& data, QString* error)
{
  QString why;
  if (TMoReader(data).parse(m_messages, why))
    return true;
  if (error != nullptr)
    *error = why;
  return false;
}

QString TmoTranslator::translate(const char* context, const char* sourceText, const char* disambiguation,
                                 int n) const
{
  Q_UNUSED(context);
  Q_UNUSED(disambiguation);
  Q_UNUSED(n);
  if (sourceText == nullptr)
    return QString();
  // An empty result makes Qt show the English source text.
  return m_messages.value(QByteArray::fromRawData(sourceText, static_cast<qsizetype>(std::strlen(sourceText))));
}

bool TmoTranslator::isEmpty() const { return m_messages.isEmpty(); }

// ---- language selection ----

QString ReadLanguage()
{
  return ReadLanguage(*SystemSettings());
}

QString ReadLanguage(const QSettings& settings)
{
  const QVariant value = settings.value(QStringLiteral("lang"));
  if (value.typeId() != QMetaType::QString)
    return QStringLiteral("en");
  const QString code = value.toString().trimmed();
  return code.isEmpty() ? QStringLiteral("en") : code;
}

namespace {
QMutex g_translatorMutex;
// Owned here for the life of the process; replaced only by InstallTranslation.
TmoTranslator* g_translator = nullptr;

// The code becomes a folder name, so it must not be able to leave the locale folder.
bool IsLanguageCode(const QString& code)
{
  if (code.isEmpty() || code.size() > 8)
    return false;
  for (const QChar c : code) {
    const char16_t u = c.unicode();
    if (!((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')))
      return false;
  }
  return true;
}
}  // namespace

bool InstallTranslation(const QString& languageCode)
{
  return InstallTranslation(languageCode, QCoreApplication::applicationDirPath() + QStringLiteral("/locale"));
}

bool InstallTranslation(const QString& languageCode, const QString& baseFolder)
{
  auto translator = std::make_unique<TmoTranslator>();
  const bool loaded =
      IsLanguageCode(languageCode)
      && translator->loadMo(baseFolder + QLatin1Char('/') + languageCode + QStringLiteral("/LC_MESSAGES/default.mo"));

  QMutexLocker lock(&g_translatorMutex);
  // Whatever happens next, the previous language goes: a language that
  // cannot be loaded shows English rather than the one chosen before.
  if (g_translator != nullptr) {
    QCoreApplication::removeTranslator(g_translator);
    delete g_translator;
    g_translator = nullptr;
  }
  if (!loaded || QCoreApplication::instance() == nullptr)
    return false;
  // A catalogue without translations (English) is valid but has nothing to
  // add; Qt would also report installing an empty translator as a failure.
  if (translator->isEmpty())
    return true;
  if (!QCoreApplication::installTranslator(translator.get()))
    return false;
  g_translator = translator.release();
  return true;
}
