#include "model/inUnitAlarmXMLstor.h"

#include "model/baseXMLstor.h"

#include <QPair>

QString TinUnitAlarmXMLstor::Write(const TalarmMaker& maker)
{
  const QMap<qint32, QList<qint32>> bindings = maker.Bindings();
  if (bindings.isEmpty())
    return QString();
  TinUnitAlarmXMLstor stor;
  stor.ClearWriter();
  stor.SetRoot(QStringLiteral("errors"));
  QXmlStreamWriter& xml = stor.Xml();
  for (auto it = bindings.cbegin(); it != bindings.cend(); ++it) {
    xml.writeStartElement(QStringLiteral("error"));
    xml.writeAttribute(QStringLiteral("id"), QString::number(it.key()));
    for (const qint32 alarmId : it.value())
      xml.writeTextElement(QStringLiteral("alarm"), QString::number(alarmId));
    xml.writeEndElement();
  }
  return stor.Text();
}

int TinUnitAlarmXMLstor::Read(const QString& text, TalarmMaker& maker)
{
  QList<QPair<qint32, qint32>> read;  // (error code, alarm id)
  if (!text.trimmed().isEmpty()) {
    const std::unique_ptr<TXmlElement> root = ParseXml(text.toUtf8(), nullptr);
    if (!root || root->Name.compare(u"errors", Qt::CaseInsensitive) != 0)
      return -1;
    bool ok = true;
    for (const TXmlElement* error : root->Children(u"error")) {
      const qint32 code = XmlStrictInt(error->Attr(u"id").trimmed(), &ok);
      if (!ok)
        return -1;
      for (const TXmlElement* alarm : error->Children(u"alarm")) {
        const qint32 alarmId = XmlStrictInt(alarm->Text.trimmed(), &ok);
        if (!ok)
          return -1;
        read.append({code, alarmId});
      }
    }
  }
  maker.ClearBindings();
  for (const auto& [code, alarmId] : read)
    maker.Bind(code, alarmId);
  return 0;
}
