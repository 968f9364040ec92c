#include "storage/mainDBxml.h"

#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "model/baseXMLstor.h"
#include "model/inUnitAlarmXMLstor.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>
#include <QXmlStreamWriter>

#include <set>

namespace {

using TParamList = std::vector<std::pair<QString, QVariant>>;

// Booleans are stored as the older engine's True (-1) so other programs of
// the installation read them unchanged; any non-zero value reads as true.
QVariant DbBool(bool value) { return value ? -1 : 0; }

// ---- document reading ----

qint32 IntAttr(const TXmlElement& e, QStringView name, qint32 defaultValue)
{
  const TXmlAttribute* attr = e.FindAttr(name);
  return attr != nullptr ? XmlInt(attr->Value) : defaultValue;
}

bool BoolAttr(const TXmlElement& e, QStringView name, bool defaultValue)
{
  const TXmlAttribute* attr = e.FindAttr(name);
  return attr != nullptr ? XmlBool(attr->Value) : defaultValue;
}

double DateAttr(const TXmlElement& e, QStringView name)
{
  double value = 0;
  if (!ParseUsDateTime(e.RequiredAttr(name), &value))
    throw TXmlLoadError(QStringLiteral("%1: \"%2\" is not a date-time")
                            .arg(name.toString(), e.Attr(name)));
  return value;
}

double DecimalAttr(const TXmlElement& e, QStringView name)
{
  bool ok = false;
  const double value = XmlDecimalDot(e.RequiredAttr(name), &ok);
  if (!ok)
    throw TXmlLoadError(QStringLiteral("%1: \"%2\" is not a decimal number")
                            .arg(name.toString(), e.Attr(name)));
  return value;
}

// The values of a document, built aside from the live configuration.
struct TStaging {
  TStaging(TMainDBParamsV4& central)
      : Units(central.Store(), central.TypeList),
        Groups(central.Store(), &Units),
        Settings(central.Store(), central.CmdParms)
  {
  }
  TUnitListV4 Units;
  TGroups Groups;
  TParams Settings;
};

void ReadUnits(const TXmlElement& root, const TTypeListV4* types, TStaging& staging,
               std::set<qint32>& skippedUnits)
{
  for (const TXmlElement* e : root.Children(u"Phdev")) {
    const qint32 id = IntAttr(*e, u"id", -1);
    const qint32 typeId = IntAttr(*e, u"typeID", -1);
    const qint32 mbAddr = IntAttr(*e, u"MBaddr", -1);
    const bool delFlag = BoolAttr(*e, u"delFlag", true);
    const double addDate = DateAttr(*e, u"AddDate");
    const double delDate = DateAttr(*e, u"DelDate");
    const TTypeV4* type = types != nullptr ? types->FindType(typeId) : nullptr;
    // A unit of an unknown type (with no fallback type 0) cannot have
    // channels; it is left out together with its channel settings.
    if (type == nullptr) {
      skippedUnits.insert(id);
      continue;
    }
    TUnitV4* unit = staging.Units.AddUnit(type, mbAddr, id);
    unit->DelFlag = delFlag;
    unit->AddDate = addDate;
    unit->DelDate = delDate;
    unit->Name = e->Attr(u"name");
  }
}

void ReadInUnits(const TXmlElement& root, TStaging& staging)
{
  for (const TXmlElement* e : root.Children(u"InUnit")) {
    // Required values are checked for every entry, also for one that is
    // skipped, so a damaged document is refused as a whole.
    const double min = DecimalAttr(*e, u"min");
    const double max = DecimalAttr(*e, u"max");
    TUnitV4* unit = staging.Units.FindUnitById(IntAttr(*e, u"parID", -1));
    TInUnitV4* channel = unit != nullptr ? unit->FindInUnitByIDReg(IntAttr(*e, u"IDReg", -1))
                                         : nullptr;
    if (channel == nullptr)
      continue;
    channel->Deleted = BoolAttr(*e, u"Deleted", true);
    channel->UState = static_cast<quint8>(IntAttr(*e, u"UState", -1) & 0xFF);
    channel->LogId = IntAttr(*e, u"id", -1);
    channel->Name = e->Attr(u"name");
    channel->PhUnit = e->Attr(u"PhUnit");
    // An absent or non-positive divisor would flip or break every value;
    // the type's decimals stay then.
    const qint32 pointValue = IntAttr(*e, u"PointValue", -1);
    if (pointValue > 0)
      channel->PointValue = pointValue;
    channel->Min = min;
    channel->Max = max;
    channel->Disp = IntAttr(*e, u"disp", -1);
  }
}

void ReadOutUnits(const TXmlElement& root, TStaging& staging)
{
  for (const TXmlElement* e : root.Children(u"OutUnit")) {
    TUnitV4* unit = staging.Units.FindUnitById(IntAttr(*e, u"parID", -1));
    TOutUnitV4* channel = unit != nullptr ? unit->FindOutUnitByIDReg(IntAttr(*e, u"IDReg", -1))
                                          : nullptr;
    if (channel == nullptr)
      continue;
    channel->Deleted = BoolAttr(*e, u"Deleted", true);
    channel->LogId = IntAttr(*e, u"id", -1);
    channel->Name = e->Attr(u"name");
    channel->STDpoint = BoolAttr(*e, u"STDpoint", true);
    channel->SemValue = IntAttr(*e, u"SemValue", -1);
    channel->InUnitID = IntAttr(*e, u"InUnitID", -1);
  }
}

void ReadParams(const TXmlElement& root, TParams& settings)
{
  for (const TXmlElement* e : root.Children(u"Param")) {
    const QString name = e->RequiredAttr(u"name");
    qint32* target = nullptr;
    if (name == QLatin1String("port"))
      target = &settings.COMPort;
    else if (name == QLatin1String("baudrate"))
      target = &settings.BaudRate;
    else if (name == QLatin1String("Timeout"))
      target = &settings.TimeOut;
    else if (name == QLatin1String("measTime"))
      target = &settings.MesureTime;
    else if (name == QLatin1String("measBaseTime"))
      target = &settings.MesureBaseTime;
    else if (name == QLatin1String("TCPServerPort"))
      target = &settings.TCPServerPort;
    else if (name == QLatin1String("RepOptions")) {
      settings.RepOptions = static_cast<quint32>(XmlInt(e->RequiredAttr(u"value")));
      continue;
    }
    if (target != nullptr)
      *target = XmlInt(e->RequiredAttr(u"value"));
  }
}

void ReadGroups(const TXmlElement& root, TStaging& staging)
{
  for (const TXmlElement* e : root.Children(u"Group")) {
    const qint32 id = XmlInt(e->RequiredAttr(u"id"));
    TGroup* group = staging.Groups.AddGroupWithId(e->RequiredAttr(u"name"), id);
    for (const TXmlElement* member : e->Children(u"inUnit")) {
      const qint32 logId = XmlInt(member->RequiredAttr(u"id"));
      if (TInUnitV4* channel = staging.Units.FindInUnit(logId))
        group->AddMember(channel);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------

TmainDB::TmainDB() = default;

TmainDB::~TmainDB()
{
  QMutexLocker lock(&m_mutex);
  for (const QString& name : std::as_const(m_connections)) {
    {
      QSqlDatabase db = QSqlDatabase::database(name, false);
      if (db.isValid())
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
  }
}

void TmainDB::SetDatabaseFile(const QString& fileName)
{
  QMutexLocker lock(&m_mutex);
  m_databaseFile = fileName;
}

QString TmainDB::DatabaseFile() const
{
  QMutexLocker lock(&m_mutex);
  return m_databaseFile;
}

QString TmainDB::LastError() const
{
  QMutexLocker lock(&m_mutex);
  return m_lastError;
}

int TmainDB::LoadDocument(TMainDBParamsV4& central, const QByteArray& document)
{
  QString error;
  std::unique_ptr<TXmlElement> root = ParseXml(document, &error);
  try {
    if (!root)
      throw TXmlLoadError(error);
    TStaging staging(central);
    {
      // Counters and settings continue from the live ones; only what the
      // document names changes.
      auto lock = central.ReadLock();
      const TUnitListV4& live = central.Units();
      staging.Units.LastLogId = live.LastLogId;
      staging.Units.LastAlarmLogId = live.LastAlarmLogId;
      staging.Units.NextUnitId = live.NextUnitId;
      staging.Settings.CopyValuesFrom(central.Settings());
    }
    std::set<qint32> skippedUnits;
    ReadUnits(*root, central.TypeList, staging, skippedUnits);
    ReadInUnits(*root, staging);
    ReadOutUnits(*root, staging);
    ReadParams(*root, staging.Settings);
    ReadGroups(*root, staging);
    {
      auto lock = central.WriteLock();
      central.Units().TakeOver(staging.Units);
      central.Units().RaiseCounters();
      central.Groups().TakeOver(staging.Groups);
      central.Settings().CopyValuesFrom(staging.Settings);
    }
    QMutexLocker lock(&m_mutex);
    m_hasRoot = true;
    m_rootName = root->Name;
    m_lastError.clear();
    return 0;
  } catch (const std::exception& e) {
    QMutexLocker lock(&m_mutex);
    m_lastError = QString::fromUtf8(e.what());
    return -1;
  }
}

// ---- database ----

QString TmainDB::ThreadConnectionName() const
{
  return QStringLiteral("mainDB-%1-%2")
      .arg(reinterpret_cast<quintptr>(this), 0, 16)
      .arg(reinterpret_cast<quintptr>(QThread::currentThreadId()), 0, 16);
}

bool TmainDB::Connection(QSqlDatabase& db)
{
  QString file;
  QString name;
  {
    QMutexLocker lock(&m_mutex);
    file = m_databaseFile;
    name = ThreadConnectionName();
    if (!file.isEmpty() && !m_connections.contains(name))
      m_connections << name;
  }
  if (file.isEmpty())
    return false;
  if (QSqlDatabase::contains(name)) {
    db = QSqlDatabase::database(name, false);
  } else {
    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
  }
  if (db.databaseName() != file) {
    db.close();
    db.setDatabaseName(file);
  }
  return db.isOpen() || db.open();
}

void TmainDB::CloseThreadConnection()
{
  QString name;
  {
    QMutexLocker lock(&m_mutex);
    name = ThreadConnectionName();
    if (!m_connections.removeOne(name))
      return;
  }
  {
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (db.isValid())
      db.close();
  }
  QSqlDatabase::removeDatabase(name);
}

bool TmainDB::Exec(QSqlQuery& query, const QString& statement, const TParamList& params)
{
  if (!query.prepare(statement))
    return false;
  // Bound in the order the statement names them.
  for (const auto& [name, value] : params)
    query.bindValue(name, value);
  if (!query.exec())
    return false;
  if (query.isSelect())
    query.first();
  return true;
}

int TmainDB::StoreParam(const QString& name, qint64 value)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery select(db);
  const bool found = Exec(select, QStringLiteral("select * from Params where Name=:Name"),
                          {{":Name", name}}) &&
                     select.isValid();
  select.finish();
  QSqlQuery write(db);
  if (!found)
    return Exec(write, QStringLiteral("insert into Params values( :Name, :val );"),
                {{":Name", name}, {":val", value}})
               ? 0
               : -1;
  return Exec(write, QStringLiteral("update Params set Val=:Value where Name=:Name"),
              {{":Value", value}, {":Name", name}})
             ? 0
             : -1;
}

int TmainDB::StoreDefinition(const QString& name, const QString& text)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery select(db);
  bool ok = Exec(select, QStringLiteral("select * from other where Name=:Name"), {{":Name", name}});
  if (!ok) {
    QSqlQuery create(db);
    if (!create.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS other(name TEXT PRIMARY KEY, define TEXT)")))
      return -1;
    ok = Exec(select, QStringLiteral("select * from other where Name=:Name"), {{":Name", name}});
    if (!ok)
      return -1;
  }
  const bool found = select.isValid();
  select.finish();
  QSqlQuery write(db);
  if (!found)
    return Exec(write, QStringLiteral("insert into other values(:Name, :define)"),
                {{":Name", name}, {":define", text}})
               ? 0
               : -1;
  return Exec(write, QStringLiteral("update other set define=:define where Name=:Name"),
              {{":define", text}, {":Name", name}})
             ? 0
             : -1;
}

int TmainDB::AppendFallback(TFallbackRecord record)
{
  QMutexLocker lock(&m_mutex);
  // Without a loaded document there is nothing to append to: the record is
  // not kept anywhere, and that is reported.
  if (!m_hasRoot)
    return -1;
  m_fallback.push_back(std::move(record));
  return 0;
}

int TmainDB::StoreUnit(const TUnitV4& unit)
{
  QSqlDatabase db;
  if (Connection(db)) {
    QSqlQuery query(db);
    // An update that matches no row stores nothing; it counts as a failure.
    if (Exec(query,
             QStringLiteral("update PhDevs set IDType=:IDType,Adr=:Adr,DelFlag=:DelFlag,"
                            "DateAdd=:DateAdd,DateDel=:DateDel,Name=:Name,SN=:SN "
                            "where IDPhDev=:IDPhDev;"),
             {{":IDType", unit.TypeId},
              {":Adr", unit.MBAddr},
              {":DelFlag", DbBool(unit.DelFlag)},
              {":DateAdd", unit.AddDate},
              {":DateDel", unit.DelDate},
              {":Name", unit.Name},
              {":SN", 0},
              {":IDPhDev", unit.Id}}) &&
        query.numRowsAffected() > 0)
      return 0;
  }
  return AppendFallback({QStringLiteral("Phdev"),
                         {{"id", XmlIntText(unit.Id)},
                          {"typeID", XmlIntText(unit.TypeId)},
                          {"MBaddr", XmlIntText(unit.MBAddr)},
                          {"delFlag", XmlBoolText(unit.DelFlag)},
                          {"AddDate", FormatUsDateTime(unit.AddDate)},
                          {"DelDate", FormatUsDateTime(unit.DelDate)},
                          {"name", unit.Name}}});
}

int TmainDB::UpdateLogDevs(const TParamList& params)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery query(db);
  if (Exec(query,
           QStringLiteral("update LogDevs set DelFlag=:DelFlag,UState=:UState,Name=:Name,"
                          "IDInDev=:IDInDev,StdPoint=:StdPoint,PosPoint=:PosPoint,"
                          "PhUnit=:PhUnit,MinValue=:Min,MaxValue=:Max,NoCol=:NoCol "
                          "where IDLogDev=:IDLogDev and IDPhDev=:IDReg"),
           params) &&
      query.numRowsAffected() > 0)
    return 0;
  return -1;
}

int TmainDB::StoreInUnit(const TInUnitV4& channel)
{
  const qint32 unitId = channel.Unit != nullptr ? channel.Unit->Id : -1;
  if (UpdateLogDevs({{":DelFlag", DbBool(channel.Deleted)},
                     {":UState", channel.UState},
                     {":Name", channel.Name},
                     {":IDInDev", -1},
                     {":StdPoint", DbBool(false)},
                     {":PosPoint", channel.PointValue},
                     {":PhUnit", channel.PhUnit},
                     {":Min", channel.Min},
                     {":Max", channel.Max},
                     {":NoCol", channel.Disp},
                     {":IDLogDev", channel.LogId},
                     {":IDReg", unitId}}) == 0) {
    QSqlDatabase db;
    if (!Connection(db))
      return -1;
    QSqlQuery query(db);
    return Exec(query, QStringLiteral("update LogDevs set alarms=:alarms where IDLogDev=:id"),
                {{":alarms", TinUnitAlarmXMLstor::Write(channel.AlarmMaker())},
                 {":id", channel.LogId}})
               ? 0
               : -1;
  }
  return AppendFallback({QStringLiteral("InUnit"),
                         {{"parID", XmlIntText(unitId)},
                          {"IDReg", XmlIntText(channel.IDReg)},
                          {"Deleted", XmlBoolText(channel.Deleted)},
                          {"UState", XmlIntText(channel.UState)},
                          {"id", XmlIntText(channel.LogId)},
                          {"name", channel.Name},
                          {"PhUnit", channel.PhUnit},
                          {"PointValue", XmlIntText(channel.PointValue)},
                          {"min", XmlDecimalText(channel.Min)},
                          {"max", XmlDecimalText(channel.Max)},
                          {"disp", XmlIntText(channel.Disp)},
                          {"InUnitID", XmlIntText(-1)},
                          {"STDpoint", QStringLiteral("0")}}});
}

int TmainDB::StoreOutUnit(const TOutUnitV4& channel)
{
  const qint32 unitId = channel.Unit != nullptr ? channel.Unit->Id : -1;
  if (UpdateLogDevs({{":DelFlag", DbBool(channel.Deleted)},
                     {":UState", 0},
                     {":Name", channel.Name},
                     {":IDInDev", channel.InUnitID},
                     {":StdPoint", DbBool(channel.STDpoint)},
                     {":PosPoint", channel.SemValue},
                     {":PhUnit", QString()},
                     {":Min", 0.0},
                     {":Max", 0.0},
                     {":NoCol", -1},
                     {":IDLogDev", channel.LogId},
                     {":IDReg", unitId}}) == 0)
    return 0;
  return AppendFallback({QStringLiteral("OutUnit"),
                         {{"parID", XmlIntText(unitId)},
                          {"IDReg", XmlIntText(channel.IDReg)},
                          {"Deleted", XmlBoolText(channel.Deleted)},
                          {"id", XmlIntText(channel.LogId)},
                          {"name", channel.Name},
                          {"STDpoint", XmlBoolText(channel.STDpoint)},
                          {"SemValue", XmlIntText(channel.SemValue)},
                          {"InUnitID", XmlIntText(channel.InUnitID)},
                          {"PhUnit", QString()},
                          {"min", QStringLiteral("0")},
                          {"max", QStringLiteral("0")},
                          {"disp", QStringLiteral("0")}}});
}

int TmainDB::StoreAlarmOutput(qint32 unitId, qint32 alarmOutputId, const QString& text)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery update(db);
  if (Exec(update,
           QStringLiteral("update AlarmDevs set define=:define where IDalarmDev=:IDalarmDev and "
                          "IDPhDev=:IDPhDev;"),
           {{":define", text}, {":IDalarmDev", alarmOutputId}, {":IDPhDev", unitId}}) &&
      update.numRowsAffected() > 0)
    return 0;
  const QString insert =
      QStringLiteral("insert into AlarmDevs values(:IDalarmDev,:IDPhDev,:define);");
  const TParamList params = {{":IDalarmDev", alarmOutputId}, {":IDPhDev", unitId}, {":define", text}};
  QSqlQuery first(db);
  if (Exec(first, insert, params))
    return 0;
  QSqlQuery create(db);
  if (!create.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS AlarmDevs(IDalarmDev INTEGER NOT "
                                  "NULL,IDPhDev INTEGER NOT NULL, define TEXT)")) ||
      !create.exec(QStringLiteral(
          "CREATE INDEX IF NOT EXISTS AlarmDevs_IDalarmDev on AlarmDevs(IDalarmDev)")) ||
      !create.exec(
          QStringLiteral("CREATE INDEX IF NOT EXISTS AlarmDevs_IDPhDev on AlarmDevs(IDPhDev)")))
    return -1;
  QSqlQuery second(db);
  return Exec(second, insert, params) ? 0 : -1;
}

int TmainDB::InsertGroup(const TGroup& group)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery query(db);
  return Exec(query, QStringLiteral("insert into Groups values(:Id, :Name, :IsActive)"),
              {{":Id", group.Id}, {":Name", group.Name}, {":IsActive", DbBool(group.Active)}})
             ? 0
             : -1;
}

int TmainDB::UpdateGroup(const TGroup& group)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery query(db);
  return Exec(query,
              QStringLiteral("update Groups set Name=:Name,Active=:Active where IDGroup=:IDGroup"),
              {{":Name", group.Name}, {":Active", DbBool(group.Active)}, {":IDGroup", group.Id}}) &&
                 query.numRowsAffected() > 0
             ? 0
             : -1;
}

int TmainDB::InsertGroupMember(TDevGroup& member)
{
  if (!member.IsNew || member.Group == nullptr)
    return -1;
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery query(db);
  if (!Exec(query, QStringLiteral("insert into GroupDevs values(:GrId, :UId)"),
            {{":GrId", member.Group->Id}, {":UId", member.LogId}}))
    return -1;
  member.IsNew = false;
  return 0;
}

int TmainDB::DeleteGroupMember(const TDevGroup& member)
{
  if (member.Group == nullptr)
    return -1;
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery query(db);
  return Exec(query,
              QStringLiteral("delete from GroupDevs where IDLogDev=:IDLogDev and IDGroup=:IDGroup ;"),
              {{":IDLogDev", member.LogId}, {":IDGroup", member.Group->Id}}) &&
                 query.numRowsAffected() > 0
             ? 0
             : -1;
}

int TmainDB::DeleteGroupRow(const TGroup& group)
{
  QSqlDatabase db;
  if (!Connection(db))
    return -1;
  QSqlQuery query(db);
  return Exec(query, QStringLiteral("delete from Groups where IDGroup=:IDGroup ;"),
              {{":IDGroup", group.Id}})
             ? 0
             : -1;
}

std::vector<TmainDB::TFallbackRecord> TmainDB::FallbackRecords() const
{
  QMutexLocker lock(&m_mutex);
  return m_fallback;
}

QByteArray TmainDB::FallbackDocument() const
{
  QMutexLocker lock(&m_mutex);
  QByteArray text;
  QXmlStreamWriter xml(&text);
  xml.setAutoFormatting(true);
  xml.writeStartDocument();
  xml.writeStartElement(m_rootName.isEmpty() ? QStringLiteral("definitions") : m_rootName);
  for (const TFallbackRecord& record : m_fallback) {
    xml.writeStartElement(record.Element);
    for (const auto& [name, value] : record.Attributes)
      xml.writeAttribute(name, value);
    xml.writeEndElement();
  }
  xml.writeEndElement();
  xml.writeEndDocument();
  return text;
}

// ---------------------------------------------------------------------------

int AccessFileOp(int op, int version, const QString& fileName, const QString& newFileName,
                 const QStringList& schema)
{
  Q_UNUSED(version);
  if (op < 0 || op > 2 || fileName.isEmpty())
    return op < 0 || op > 2 ? -1 : 0;
  if (op == 0) {
    const QFileInfo info(fileName);
    if (info.exists() || !QDir().mkpath(info.absolutePath()))
      return 0;
  } else if (!QFileInfo::exists(fileName)) {
    return 0;
  }
  if (op == 2 && !newFileName.isEmpty() && QFileInfo::exists(newFileName))
    return 0;

  const QString name = QStringLiteral("fileop-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
  int result = 0;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(fileName);
    if (db.open()) {
      QSqlQuery query(db);
      switch (op) {
        case 0:
          result = 1;
          for (const QString& statement : schema) {
            if (!query.exec(statement)) {
              result = 0;
              break;
            }
          }
          break;
        case 1:
          result = query.exec(QStringLiteral("PRAGMA integrity_check")) && query.next() &&
                           query.value(0).toString() == QLatin1String("ok")
                       ? 1
                       : 0;
          break;
        case 2:
          if (newFileName.isEmpty() || newFileName == fileName) {
            result = query.exec(QStringLiteral("VACUUM")) ? 1 : 0;
          } else {
            query.prepare(QStringLiteral("VACUUM INTO ?"));
            query.addBindValue(newFileName);
            result = query.exec() ? 1 : 0;
          }
          break;
      }
      query.finish();
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name);
  return result;
}
