#include "server/serverDocs.h"

#include "server/measServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <iterator>

#ifndef DRAVOLUX_SERVER_DEMO_SOURCE_DIR
#define DRAVOLUX_SERVER_DEMO_SOURCE_DIR ""
#endif

namespace {

struct TChannelKind {
  const char* Name;
  const char* PhUnit;
  int PointValue;
  const char* Min;  // written as they stand: decimal point, never a locale's comma
  const char* Max;
  int Disp;
};

constexpr TChannelKind kKinds[] = {
    {"temperature",
     "\xC2\xB0"
     "C",
     10, "-20.0", "120.0", 1},
    {"pressure", "bar", 100, "0.00", "10.00", 2},
    {"flow", "m\xC2\xB3/h", 10, "0.0", "250.0", 1},
    {"level", "%", 10, "5.0", "95.0", 1},
    {"power", "kW", 10, "0.0", "500.0", 1},
};

QByteArray Num(qint64 n)
{
  return QByteArray::number(n);
}

QByteArray Padded(int n, int width)
{
  return QByteArray::number(n).rightJustified(width, '0');
}

bool ReadFile(const QString& path, QByteArray& out, QString* error)
{
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error != nullptr)
      *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
    return false;
  }
  out = file.readAll();
  return true;
}

}  // namespace

QString DefaultDemoDir()
{
  if (QCoreApplication::instance() != nullptr) {
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/demo");
    if (QFileInfo::exists(beside + QStringLiteral("/types.xml")))
      return beside;
  }
  return QString::fromUtf8(DRAVOLUX_SERVER_DEMO_SOURCE_DIR);
}

bool ReadServerDocuments(const QString& dir, TServerDocuments& docs, QString* error)
{
  const QDir folder(dir);
  return ReadFile(folder.filePath(QStringLiteral("types.xml")), docs.Types, error) &&
         ReadFile(folder.filePath(QStringLiteral("main.xml")), docs.Main, error);
}

TServerDocuments SyntheticDocuments(int units, int channels)
{
  TServerDocuments docs;
  QByteArray& t = docs.Types;
  t = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types>\n  <Device id=\"1\">\n"
      "    <MBusID>0x0801</MBusID>\n    <MBusIDM_ORA>-1</MBusIDM_ORA>\n"
      "    <Name>AI-" +
      Num(channels) + " analogue input module</Name>\n";
  for (int i = 1; i <= channels; ++i) {
    t += "    <inUnit IDReg=\"" + Num(i) + "\"><Name>AI" + Num(i) +
         "</Name><PhUnit>%</PhUnit><Reg Register=\"" + Num(100 + i) +
         "\"><RegType>SINT16</RegType><SpcFnc>0</SpcFnc></Reg><Status StatReg=\"0\">"
         "<StatRegM>0</StatRegM></Status><Multiplier>1</Multiplier><Point><IsProgPoint>0"
         "</IsProgPoint><PointReg>0</PointReg><PointRegM>0</PointRegM><PointValue>10"
         "</PointValue><CanChange>1</CanChange></Point></inUnit>\n";
  }
  t += "    <Errors>\n"
       "      <Error IDErr=\"1\"><ErrCode>1</ErrCode><ErrCodeM_OR>0</ErrCodeM_OR>"
       "<Desc>sensor break</Desc></Error>\n"
       "      <Error IDErr=\"2\"><ErrCode>2</ErrCode><ErrCodeM_OR>0</ErrCodeM_OR>"
       "<Desc>input overrange</Desc></Error>\n"
       "    </Errors>\n  </Device>\n</Types>\n";

  QByteArray& m = docs.Main;
  m = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Definitions>\n";
  for (int u = 1; u <= units; ++u) {
    m += "  <Phdev id=\"" + Num(u) + "\" typeID=\"1\" MBaddr=\"" + Num((u - 1) % 247 + 1) +
         "\" delFlag=\"0\" AddDate=\"1/9/2024 8:00:00 AM\" DelDate=\"12/30/1899\" name=\"Module " +
         Padded(u, 3) + "\"/>\n";
  }
  qint32 logId = 0;
  for (int u = 1; u <= units; ++u) {
    for (int i = 1; i <= channels; ++i) {
      ++logId;
      const TChannelKind& kind = kKinds[(logId - 1) % std::size(kKinds)];
      m += "  <InUnit parID=\"" + Num(u) + "\" IDReg=\"" + Num(i) +
           "\" Deleted=\"0\" UState=\"0\" id=\"" + Num(logId) + "\" name=\"M" + Padded(u, 3) + "." +
           Num(i) + " " + kind.Name + "\" PhUnit=\"" + kind.PhUnit + "\" PointValue=\"" +
           Num(kind.PointValue) + "\" min=\"" + kind.Min + "\" max=\"" + kind.Max + "\" disp=\"" +
           Num(kind.Disp) + "\"/>\n";
    }
  }
  m += "  <Param name=\"port\" value=\"1\"/>\n  <Param name=\"baudrate\" value=\"19200\"/>\n"
       "  <Param name=\"measTime\" value=\"5\"/>\n";
  constexpr int kUnitsPerGroup = 10;
  for (int first = 1, group = 1; first <= units; first += kUnitsPerGroup, ++group) {
    const int last = std::min(units, first + kUnitsPerGroup - 1);
    m += "  <Group id=\"" + Num(group) + "\" name=\"Section " + Num(group) + "\">\n";
    for (qint64 id = qint64(first - 1) * channels + 1; id <= qint64(last) * channels; ++id)
      m += "    <inUnit id=\"" + Num(id) + "\"/>\n";
    m += "  </Group>\n";
  }
  m += "</Definitions>\n";
  return docs;
}

bool LoadServerDocuments(const TServerOptions& options, TServerDocuments& docs, QString* error)
{
  if (options.SyntheticUnits > 0) {
    if (options.SyntheticUnits > kMaxSyntheticUnits || options.SyntheticChannels < 1 ||
        options.SyntheticChannels > kMaxSyntheticChannels) {
      if (error != nullptr)
        *error = QStringLiteral("a synthetic installation has 1..%1 units of 1..%2 channels")
                     .arg(kMaxSyntheticUnits)
                     .arg(kMaxSyntheticChannels);
      return false;
    }
    docs = SyntheticDocuments(options.SyntheticUnits, options.SyntheticChannels);
    return true;
  }
  const QString dir = options.DocsDir.isEmpty() ? DefaultDemoDir() : options.DocsDir;
  return ReadServerDocuments(dir, docs, error);
}
