#include "model/alarmXMLstor.h"

#include "model/baseXMLstor.h"

// ---- TalarmXMLstor ----

QString TalarmXMLstor::Write(const TalarmsList& alarms)
{
  qint32 maxId = -1;
  const QList<Talarm> list = alarms.Alarms(&maxId);
  TalarmXMLstor stor;
  stor.ClearWriter();
  stor.SetRoot(QStringLiteral("alarms"));
  QXmlStreamWriter& xml = stor.Xml();
  xml.writeAttribute(QStringLiteral("maxID"), QString::number(maxId));
  for (const Talarm& alarm : list) {
    xml.writeStartElement(QStringLiteral("alarm"));
    xml.writeAttribute(QStringLiteral("id"), QString::number(alarm.Id));
    xml.writeTextElement(QStringLiteral("name"), alarm.Name);
    xml.writeTextElement(QStringLiteral("desc"), alarm.Desc);
    xml.writeEndElement();
  }
  return stor.Text();
}

int TalarmXMLstor::Read(const QString& text, TalarmsList& alarms)
{
  const std::unique_ptr<TXmlElement> root = ParseXml(text.toUtf8(), nullptr);
  if (!root || root->Name.compare(u"alarms", Qt::CaseInsensitive) != 0)
    return -1;
  qint32 maxId = -1;
  bool ok = true;
  if (root->HasAttr(u"maxID"))
    maxId = XmlStrictInt(root->Attr(u"maxID").trimmed(), &ok);
  if (!ok)
    return -1;

  QList<Talarm> read;
  for (const TXmlElement* element : root->Children(u"alarm")) {
    Talarm alarm;
    alarm.Id = XmlStrictInt(element->Attr(u"id").trimmed(), &ok);
    if (!ok)
      return -1;
    if (const TXmlElement* name = element->Child(u"name"))
      alarm.Name = name->Text;
    if (const TXmlElement* desc = element->Child(u"desc"))
      alarm.Desc = desc->Text;
    read.append(alarm);
  }

  alarms.Clear();
  for (const Talarm& alarm : read)
    alarms.AddAlarm(alarm.Id, alarm.Name, alarm.Desc);
  alarms.RaiseMaxId(maxId);
  return 0;
}
