// Loading the main definitions happens at every log-on, on the thread that
// also receives current values, so a large installation must load quickly.
// Measured: a document of 1,000 units with 8 input channels each, one output
// per unit, the settings and 50 groups of 20 channels, swapped into the
// configuration as the server link does it.

#include "app/cmdParms.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "storage/mainDBxml.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

namespace {

constexpr int kUnits = 1000;
constexpr int kInputs = 8;

QByteArray TypeDocument()
{
  QByteArray doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Types><Device id=\"1\">"
                   "<MBusID>0x0101</MBusID><MBusIDM_ORA>-1</MBusIDM_ORA><Name>AI8</Name>";
  for (int i = 1; i <= kInputs; ++i) {
    doc += "<inUnit IDReg=\"" + QByteArray::number(i) + "\"><Name>AI</Name><PhUnit>V</PhUnit>"
           "<Reg Register=\"" + QByteArray::number(100 + i) + "\"><RegType>SINT16</RegType>"
           "<SpcFnc>0</SpcFnc></Reg><Status StatReg=\"0\"><StatRegM>0</StatRegM></Status>"
           "<Multiplier>1</Multiplier><Point><IsProgPoint>1</IsProgPoint><PointReg>0</PointReg>"
           "<PointRegM>0</PointRegM><PointValue>10</PointValue><CanChange>1</CanChange></Point>"
           "</inUnit>";
  }
  doc += "<outUnit IDReg=\"1\"><Reg Register=\"500\"><RegType>UINT16</RegType></Reg><Point>"
         "<IfPoint>0</IfPoint><PointReg>0</PointReg><PointRegM>0</PointRegM></Point></outUnit>"
         "</Device></Types>";
  return doc;
}

QByteArray MainDocument()
{
  QByteArray doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Definitions>\n";
  for (int u = 1; u <= kUnits; ++u)
    doc += "<Phdev id=\"" + QByteArray::number(u) + "\" typeID=\"1\" MBaddr=\"" +
           QByteArray::number(u % 247 + 1) +
           "\" delFlag=\"0\" AddDate=\"3/15/2011 2:05:07 PM\" DelDate=\"12/30/1899\" "
           "name=\"Unit " + QByteArray::number(u) + "\"/>\n";
  int logId = 0;
  for (int u = 1; u <= kUnits; ++u) {
    for (int i = 1; i <= kInputs; ++i)
      doc += "<InUnit parID=\"" + QByteArray::number(u) + "\" IDReg=\"" + QByteArray::number(i) +
             "\" Deleted=\"0\" UState=\"0\" id=\"" + QByteArray::number(++logId) +
             "\" name=\"Channel " + QByteArray::number(logId) +
             "\" PhUnit=\"°C\" PointValue=\"10\" min=\"-20.50\" max=\"120.00\" disp=\"1\"/>\n";
    doc += "<OutUnit parID=\"" + QByteArray::number(u) + "\" IDReg=\"1\" Deleted=\"0\" id=\"" +
           QByteArray::number(100000 + u) + "\" name=\"Out\" STDpoint=\"-1\" SemValue=\"1\" "
           "InUnitID=\"" + QByteArray::number(logId) + "\"/>\n";
  }
  doc += "<Param name=\"port\" value=\"1\"/><Param name=\"baudrate\" value=\"9600\"/>"
         "<Param name=\"measTime\" value=\"60\"/>\n";
  for (int g = 1; g <= 50; ++g) {
    doc += "<Group id=\"" + QByteArray::number(g) + "\" name=\"Group " + QByteArray::number(g) +
           "\">";
    for (int m = 0; m < 20; ++m)
      doc += "<inUnit id=\"" + QByteArray::number((g - 1) * 20 + m + 1) + "\"/>";
    doc += "</Group>\n";
  }
  doc += "</Definitions>\n";
  return doc;
}

void BM_LoadMainDefinitions(benchmark::State& state)
{
  const QByteArray types = TypeDocument();
  const QByteArray main = MainDocument();
  TcmdParms cmd;
  TTypeListV4 typeList;
  TMainDBParamsV4 params(&typeList, &cmd);
  if (params.LoadTypeDocument(types) != 0) {
    state.SkipWithError("type document refused");
    return;
  }
  for (auto _ : state) {
    TmainDB store;
    if (store.LoadDocument(params, main) != 0) {
      state.SkipWithError(qPrintable(store.LastError()));
      return;
    }
  }
  state.counters["channels"] = kUnits * kInputs;
  state.counters["documentMB"] = static_cast<double>(main.size()) / 1e6;
}
BENCHMARK(BM_LoadMainDefinitions)->Unit(benchmark::kMillisecond);

}  // namespace
