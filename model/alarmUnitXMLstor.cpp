#include "model/alarmUnitXMLstor.h"

#include "model/baseXMLstor.h"

QString TalarmUnitXMLstor::Write(qint32 outputLogId, const TalarmModeMap& alarmModes)
{
  if (alarmModes.isEmpty())
    return QString();
  TalarmUnitXMLstor stor;
  stor.ClearWriter();
  stor.SetRoot(QStringLiteral("alarmUnit"));
  QXmlStreamWriter& xml = stor.Xml();
  xml.writeAttribute(QStringLiteral("id"), QString::number(outputLogId));
  xml.writeStartElement(QStringLiteral("alarms"));
  for (auto it = alarmModes.cbegin(); it != alarmModes.cend(); ++it) {
    xml.writeStartElement(QStringLiteral("alarm"));
    xml.writeAttribute(QStringLiteral("id"), QString::number(it.key()));
    xml.writeCharacters(QString::number(it.value()));
    xml.writeEndElement();
  }
  return stor.Text();
}

int TalarmUnitXMLstor::Read(const QString& text, qint32& outputLogId, TalarmModeMap& alarmModes)
{
  if (text.trimmed().isEmpty()) {
    alarmModes.clear();
    return 0;
  }
  const std::unique_ptr<TXmlElement> root = ParseXml(text.toUtf8(), nullptr);
  if (!root || root->Name.compare(u"alarmUnit", Qt::CaseInsensitive) != 0)
    return -1;
  bool ok = true;
  const qint32 logId = XmlStrictInt(root->Attr(u"id").trimmed(), &ok);
  if (!ok)
    return -1;
  TalarmModeMap read;
  if (const TXmlElement* alarms = root->Child(u"alarms")) {
    for (const TXmlElement* alarm : alarms->Children(u"alarm")) {
      const qint32 alarmId = XmlStrictInt(alarm->Attr(u"id").trimmed(), &ok);
      if (!ok)
        return -1;
      const qint32 mode = XmlStrictInt(alarm->Text.trimmed(), &ok);
      if (!ok)
        return -1;
      read.insert(alarmId, mode);
    }
  }
  outputLogId = logId;
  alarmModes = read;
  return 0;
}
