#pragma once

// The "Current measurement" page: the current table, the live chart of a
// group or channel, the visualisation page and the list of device errors.
//
// The page owns the models its views show; the current-values service feeds
// them through queued signals and receives the operator's choices through
// its request operations (ICurrRequests). Thread contract: UI thread.

#include "reports/chartView.h"
#include "reports/currModels.h"

#include <QFrame>
#include <QList>
#include <QMetaObject>

#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QSplitter;
class QTabWidget;
class QTableView;
class QTimeEdit;
class TCurrChartThr;
class TMainDBParamsV4;
class TgroupTreeFr;
class TinUnitListViewFr;

// What the page asks of the current-values service. TCurrChartThr answers
// it; the tests put a recording stand-in in its place.
class ICurrRequests {
 public:
  virtual ~ICurrRequests() = default;
  virtual void RequestTable() = 0;
  virtual void RequestChart() = 0;
  virtual void RequestRescale() = 0;
  virtual void RequestErrors() = 0;
  virtual void SetTableRange(double from, double to) = 0;
  virtual void SetErrorRange(double from, double to) = 0;
  virtual void SetNextGroup(qint32 groupId) = 0;
  virtual void SetNextChannel(qint32 logId) = 0;
  virtual void SelectSource(int kind) = 0;
  virtual void SetHighlight(qint32 logId) = 0;
  virtual void SetChartPeriod(qint32 seconds) = 0;
};

class TCurrentFrame : public QFrame {
  Q_OBJECT
 public:
  enum TPageIndex { PageTable = 0, PageGraph = 1, PagePlantView = 2, PageDeviceInfo = 3 };
  enum TSourcePage { SourceGroups = 0, SourceDevices = 1 };
  // Requests to the Modbus side, which the acquisition controller attaches.
  enum TModbusAsk { AskMeasurePass = 1, AskUpdateOutputs = 2 };

  struct TPeriod {
    const char* Text;
    qint32 Seconds;
  };
  static const std::array<TPeriod, 15>& Periods();

  explicit TCurrentFrame(QWidget* parent = nullptr);
  ~TCurrentFrame() override;

  // Application messages, routed by the main window.
  void SetParams(TMainDBParamsV4* params);
  TMainDBParamsV4* Params() const { return m_params; }
  // Null detaches from the previous service.
  void SetCurrThread(TCurrChartThr* thread);
  // Connects a service's signals to the page (queued: they come from the
  // service thread) and takes its requests; drops the previous service.
  template <class TService>
  void AttachService(TService* service, ICurrRequests* requests);
  ICurrRequests* Requests() const { return m_requests; }
  void RefreshLists();
  void RefreshGroups();
  void OnProgress(int code);
  void ShowErrors();
  void OnCurrTable(qint64 wParam, qint64 lParam);
  // The table was rebuilt on the service's side (units installed, new
  // definitions).
  void RequestTable();
  void SetModbusAsk(std::function<void(TModbusAsk)> ask) { m_modbusAsk = std::move(ask); }

  // Handlers.
  void CurrentPageControlChange(int index);
  void GroupTreeChange();
  void ChannelListChange();
  void GenChartClick();
  void PeriodCBChange(int index);
  void GenTableClick();
  void GenErrorsClick();
  void MeasureButtonClick();
  void ConfirmAlarmBTClick();
  void OnLatestTime(double time);

  int SourcePage() const { return m_sourcePage; }
  bool PlantViewActive() const;

  QTabWidget* CurrPageControl;
  QTableView* VST;
  QTableView* errorVST;
  TChartView* CurrentChart;
  QSplitter* GraphSplitter;
  QTabWidget* CurrentPageControl;
  TgroupTreeFr* groupTreeFr;
  TinUnitListViewFr* inUnitListViewFr;
  QComboBox* periodCB;
  QPushButton* GenChart;
  QPushButton* GenTable;
  QPushButton* MeasureButton;
  QPushButton* GenErrors;
  QPushButton* ConfirmAlarmBT;
  QCheckBox* DontShowErrorsCB;
  QDateEdit* PrevBeginDate;
  QTimeEdit* PrevBeginTime;
  QDateEdit* PrevEndDate;
  QTimeEdit* PrevEndTime;
  QDateEdit* PrevBeginDate3;
  QTimeEdit* PrevBeginTime3;
  QDateEdit* PrevEndDate3;
  QTimeEdit* PrevEndTime3;
  QWidget* VisualFrame;
  TCurrTableModel* TableModel;
  TErrorListModel* ErrorModel;

 Q_SIGNALS:
  // The inner page changed (the main window moves its advanced-mode button).
  void pageChanged(int index);

 private:
  void DetermineSource();
  void ReleaseService();

  TMainDBParamsV4* m_params = nullptr;
  ICurrRequests* m_requests = nullptr;
  std::unique_ptr<ICurrRequests> m_ownedRequests;
  QList<QMetaObject::Connection> m_serviceLinks;
  std::function<void(TModbusAsk)> m_modbusAsk;
  int m_sourcePage = SourceGroups;
  // The operator's period choice, handed to a service attached later.
  qint32 m_chosenPeriod = 0;
};

template <class TService>
void TCurrentFrame::AttachService(TService* service, ICurrRequests* requests)
{
  ReleaseService();
  m_requests = requests;
  if (service == nullptr)
    return;
  const auto queued = Qt::QueuedConnection;
  m_serviceLinks
      << connect(service, &TService::tableReset, TableModel, &TCurrTableModel::applyReset, queued)
      << connect(service, &TService::rowsChanged, TableModel, &TCurrTableModel::applyChanged,
                 queued)
      << connect(service, &TService::errorsReset, ErrorModel, &TErrorListModel::applyReset, queued)
      << connect(service, &TService::errorOpened, ErrorModel, &TErrorListModel::applyOpened, queued)
      << connect(service, &TService::errorClosed, ErrorModel, &TErrorListModel::applyClosed, queued)
      << connect(service, &TService::chartUpdated, CurrentChart, &TChartView::ApplyUpdate, queued)
      << connect(service, &TService::latestTimeChanged, this, &TCurrentFrame::OnLatestTime, queued);
  if (m_requests != nullptr && m_chosenPeriod > 0)
    m_requests->SetChartPeriod(m_chosenPeriod);
}
