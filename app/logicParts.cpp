#include "app/logicParts.h"

#include "comm/tcpClient.h"
#include "model/DevListV4.h"
#include "model/TypeListV4.h"
#include "reports/currChartThr.h"

void IMeasureLog::SetCurrChartThr(std::unique_ptr<ICurrChartThr> thread)
{
  m_currChartOwner = std::move(thread);
  m_currChart.store(m_currChartOwner.get(), std::memory_order_release);
}

void IMeasureLog::StopCurrChartThr()
{
  if (ICurrChartThr* thread = m_currChart.exchange(nullptr, std::memory_order_acq_rel))
    thread->Stop();
}

namespace {

// Holds the current-values thread until the logging controller exists.
class TMeasureLogHolder final : public IMeasureLog {
 public:
  ~TMeasureLogHolder() override { StopCurrChartThr(); }
  void Stop() override { StopCurrChartThr(); }
  int CanClose() override { return 0; }
  void HandRequests() override {}
  void Run() override {}
  void IntervalChanged() override {}
};

}  // namespace

std::unique_ptr<TTypeListV4> TDefaultLogicParts::CreateTypeList()
{
  return std::make_unique<TTypeListV4>();
}

std::unique_ptr<TMainDBParamsV4> TDefaultLogicParts::CreateParams(TTypeListV4* typeList,
                                                                  const TcmdParms* cmdParms)
{
  return std::make_unique<TMainDBParamsV4>(typeList, cmdParms);
}

std::unique_ptr<IServerConnection> TDefaultLogicParts::CreateClient(TMainDBParamsV4* params,
                                                                     TCurrChartLink currChart)
{
  return std::make_unique<TtcpClient>(params, std::move(currChart));
}

std::unique_ptr<IWorker> TDefaultLogicParts::CreateReportThread(TMainDBParamsV4*)
{
  return nullptr;
}

std::unique_ptr<IMeasureLog> TDefaultLogicParts::CreateMeasureLog(TMainDBParamsV4*)
{
  return std::make_unique<TMeasureLogHolder>();
}

std::unique_ptr<ICurrChartThr> TDefaultLogicParts::CreateCurrChartThr(TMainDBParamsV4* params)
{
  return std::make_unique<TCurrChartThr>(params);
}

std::unique_ptr<IWorker> TDefaultLogicParts::CreateMBOpThread(TMainDBParamsV4*)
{
  return nullptr;
}
