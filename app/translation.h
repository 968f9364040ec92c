#pragma once

// Every user-interface text goes through Tr(); the English literal is the
// catalogue key. TrNoop() only marks a literal for extraction.
//
// The catalogues are gettext ".mo" files, one per language, kept beside the
// program as locale/<code>/LC_MESSAGES/default.mo. A text without a
// translation, a missing or a damaged catalogue all show the English text.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QTranslator>

class QSettings;

QString Tr(const char* english);
#define TrNoop(text) text

// Some English texts separate their lines with "\n\r"; they stay that way as
// catalogue keys, and are converted only for display.
QString DisplayText(QString text);

// A QTranslator backed by a gettext catalogue. Messages are looked up by the
// exact bytes of the English text; context and disambiguation are ignored,
// since the catalogues have a single domain and no contexts.
class TmoTranslator : public QTranslator {
  Q_OBJECT
 public:
  explicit TmoTranslator(QObject* parent = nullptr);

  // Replaces the messages with those of the catalogue at path. A file that is
  // not a well-formed catalogue is refused (false, *error says why) and the
  // messages loaded before are kept.
  bool loadMo(const QString& path, QString* error = nullptr);
  bool loadMoData(const QByteArray& data, QString* error = nullptr);

  QString translate(const char* context, const char* sourceText, const char* disambiguation = nullptr,
                    int n = -1) const override;
  bool isEmpty() const override;
  qsizetype count() const { return m_messages.size(); }

 private:
  QHash<QByteArray, QString> m_messages;
};

// The language chosen for the user interface: the "lang" value of the system
// settings, "en" when it is missing, empty or not a text.
QString ReadLanguage();
QString ReadLanguage(const QSettings& settings);

// Installs the catalogue of languageCode for the rest of the process,
// replacing one installed before. False when the code is not a plain language
// code (letters only, at most 8) or the catalogue is missing or damaged; the
// user interface is then English. A catalogue without translations (the
// English one) is accepted and leaves English. The first form looks in the
// program's folder, the second in baseFolder/<code>/LC_MESSAGES/default.mo.
bool InstallTranslation(const QString& languageCode);
bool InstallTranslation(const QString& languageCode, const QString& baseFolder);
