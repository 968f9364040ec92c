#include "reports/currentFrame.h"

#include "app/dateTimeDouble.h"
#include "app/translation.h"
#include "config/groupTreeFr.h"
#include "config/inUnitListViewFr.h"
#include "model/DevListV4.h"
#include "model/alarms.h"
#include "reports/currChartThr.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace {

// The service seen through the page's requests. The service is freed by the
// controller at shutdown, so the page holds it weakly.
class TCurrThrRequests : public ICurrRequests {
 public:
  explicit TCurrThrRequests(TCurrChartThr* thread) : m_thread(thread) {}
  void RequestTable() override { Call(&TCurrChartThr::RequestTable); }
  void RequestChart() override { Call(&TCurrChartThr::RequestChart); }
  void RequestRescale() override { Call(&TCurrChartThr::RequestRescale); }
  void RequestErrors() override { Call(&TCurrChartThr::RequestErrors); }
  void SetTableRange(double from, double to) override
  {
    if (m_thread)
      m_thread->SetTableRange(from, to);
  }
  void SetErrorRange(double from, double to) override
  {
    if (m_thread)
      m_thread->SetErrorRange(from, to);
  }
  void SetNextGroup(qint32 groupId) override { Call(&TCurrChartThr::SetNextGroup, groupId); }
  void SetNextChannel(qint32 logId) override { Call(&TCurrChartThr::SetNextChannel, logId); }
  void SelectSource(int kind) override { Call(&TCurrChartThr::SelectSource, kind); }
  void SetHighlight(qint32 logId) override { Call(&TCurrChartThr::SetHighlight, logId); }
  void SetChartPeriod(qint32 seconds) override { Call(&TCurrChartThr::SetChartPeriod, seconds); }

 private:
  template <class F, class... A>
  void Call(F f, A... args)
  {
    if (m_thread)
      (m_thread.data()->*f)(args...);
  }
  QPointer<TCurrChartThr> m_thread;
};

template <class T>
T* Named(T* widget, const char* name)
{
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

void SetNow(QDateEdit* date, QTimeEdit* time)
{
  const QDateTime now = QDateTime::currentDateTime();
  date->setDate(now.date());
  time->setTime(now.time());
}

double PickedTime(const QDateEdit* date, const QTimeEdit* time)
{
  return DateTimeToDouble(date->date(), time->time());
}

QTableView* MakeTable(QWidget* parent, const char* name, QAbstractItemModel* model)
{
  auto* view = Named(new QTableView(parent), name);
  view->setModel(model);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setShowGrid(true);
  view->verticalHeader()->hide();
  view->horizontalHeader()->setStretchLastSection(true);
  view->horizontalHeader()->setSectionsMovable(true);
  return view;
}

}  // namespace

const std::array<TCurrentFrame::TPeriod, 15>& TCurrentFrame::Periods()
{
  // Shown as they stand, blanks included; not translated.
  static const std::array<TPeriod, 15> periods = {{{"15 min", 900},
                                                   {"30 min", 1800},
                                                   {"45 min", 2700},
                                                   {"1  h", 3600},
                                                   {"2  h", 7200},
                                                   {"6  h", 21600},
                                                   {"12 h", 43200},
                                                   {"18 h", 64800},
                                                   {"1  d", 86400},
                                                   {"2  d", 172800},
                                                   {"3  d", 259200},
                                                   {"4  d", 345600},
                                                   {"5  d", 432000},
                                                   {"6  d", 518400},
                                                   {"7  d", 604800}}};
  return periods;
}

TCurrentFrame::TCurrentFrame(QWidget* parent) : QFrame(parent)
{
  setObjectName(QStringLiteral("CurrentFrame"));
  TableModel = new TCurrTableModel(this);
  ErrorModel = new TErrorListModel(this);

  CurrPageControl = Named(new QTabWidget(this), "CurrPageControl");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(CurrPageControl);

  // "Table"
  auto* tableSheet = Named(new QWidget, "TabSheet1");
  PrevBeginDate = Named(new QDateEdit(tableSheet), "PrevBeginDate");
  PrevBeginTime = Named(new QTimeEdit(tableSheet), "PrevBeginTime");
  PrevEndDate = Named(new QDateEdit(tableSheet), "PrevEndDate");
  PrevEndTime = Named(new QTimeEdit(tableSheet), "PrevEndTime");
  GenTable = Named(new QPushButton(Tr("Refresh"), tableSheet), "GenTable");
  MeasureButton = Named(new QPushButton(Tr("Measure"), tableSheet), "MeasureButton");
  VST = MakeTable(tableSheet, "VST", TableModel);
  {
    static const int widths[] = {116, 86, 100, 100, 98, 95};
    for (int i = 0; i < TCurrTableModel::ColumnCount; ++i)
      VST->setColumnWidth(i, widths[i]);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(Tr("From date"), tableSheet));
    bar->addWidget(PrevBeginDate);
    bar->addWidget(PrevBeginTime);
    bar->addWidget(new QLabel(Tr("To date"), tableSheet));
    bar->addWidget(PrevEndDate);
    bar->addWidget(PrevEndTime);
    bar->addWidget(GenTable);
    bar->addWidget(MeasureButton);
    bar->addStretch();
    auto* sheet = new QVBoxLayout(tableSheet);
    sheet->addLayout(bar);
    sheet->addWidget(VST, 1);
  }

  // "Graph"
  auto* graphSheet = Named(new QWidget, "TabSheet2");
  GraphSplitter = Named(new QSplitter(Qt::Horizontal, graphSheet), "GraphSplitter");
  CurrentChart = Named(new TChartView(GraphSplitter), "CurrentChart");
  auto* selector = new QWidget(GraphSplitter);
  CurrentPageControl = Named(new QTabWidget(selector), "CurrentPageControl");
  groupTreeFr = new TgroupTreeFr;
  inUnitListViewFr = new TinUnitListViewFr;
  CurrentPageControl->addTab(groupTreeFr, Tr("Groups"));
  CurrentPageControl->addTab(inUnitListViewFr, Tr("Devices"));
  periodCB = Named(new QComboBox(selector), "periodCB");
  GenChart = Named(new QPushButton(Tr("Refresh"), selector), "GenChart");
  {
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(Tr("Period:"), selector));
    bottom->addWidget(periodCB, 1);
    bottom->addWidget(GenChart);
    auto* side = new QVBoxLayout(selector);
    side->setContentsMargins(0, 0, 0, 0);
    side->addWidget(CurrentPageControl, 1);
    side->addLayout(bottom);
    GraphSplitter->setStretchFactor(0, 1);
    auto* sheet = new QVBoxLayout(graphSheet);
    sheet->addWidget(GraphSplitter);
  }

  // "PlantView": the visualisation frame takes this place.
  VisualFrame = Named(new QWidget, "VisualFrame");

  // "Device Info"
  auto* errorSheet = Named(new QWidget, "TabSheet3");
  PrevBeginDate3 = Named(new QDateEdit(errorSheet), "PrevBeginDate3");
  PrevBeginTime3 = Named(new QTimeEdit(errorSheet), "PrevBeginTime3");
  PrevEndDate3 = Named(new QDateEdit(errorSheet), "PrevEndDate3");
  PrevEndTime3 = Named(new QTimeEdit(errorSheet), "PrevEndTime3");
  GenErrors = Named(new QPushButton(Tr("Refresh"), errorSheet), "GenErrors");
  DontShowErrorsCB = Named(new QCheckBox(Tr("Do not call"), errorSheet), "DontShowErrorsCB");
  ConfirmAlarmBT = Named(new QPushButton(Tr("Confirm"), errorSheet), "ConfirmAlarmBT");
  errorVST = MakeTable(errorSheet, "errorVST", ErrorModel);
  {
    static const int widths[] = {120, 120, 150, 180, 29};
    for (int i = 0; i < TErrorListModel::ColumnCount; ++i)
      errorVST->setColumnWidth(i, widths[i]);
    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(Tr("From date"), errorSheet));
    bar->addWidget(PrevBeginDate3);
    bar->addWidget(PrevBeginTime3);
    bar->addWidget(new QLabel(Tr("To date"), errorSheet));
    bar->addWidget(PrevEndDate3);
    bar->addWidget(PrevEndTime3);
    bar->addWidget(GenErrors);
    bar->addWidget(DontShowErrorsCB);
    bar->addWidget(ConfirmAlarmBT);
    bar->addStretch();
    auto* sheet = new QVBoxLayout(errorSheet);
    sheet->addLayout(bar);
    sheet->addWidget(errorVST, 1);
  }

  CurrPageControl->addTab(tableSheet, Tr("Table"));
  CurrPageControl->addTab(graphSheet, Tr("Graph"));
  CurrPageControl->addTab(VisualFrame, Tr("PlantView"));
  CurrPageControl->addTab(errorSheet, Tr("Device Info"));
  CurrPageControl->setCurrentIndex(PageTable);

  // The ranges follow the newest value; nothing offers choosing them, and
  // the buttons that would use them stay hidden.
  for (QDateEdit* date : {PrevBeginDate, PrevEndDate, PrevBeginDate3, PrevEndDate3})
    date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  for (QTimeEdit* time : {PrevBeginTime, PrevEndTime, PrevBeginTime3, PrevEndTime3})
    time->setDisplayFormat(QStringLiteral("hh:mm:ss"));
  const std::pair<QDateEdit*, QTimeEdit*> pickers[] = {{PrevBeginDate, PrevBeginTime},
                                                       {PrevEndDate, PrevEndTime},
                                                       {PrevBeginDate3, PrevBeginTime3},
                                                       {PrevEndDate3, PrevEndTime3}};
  for (const auto& [date, time] : pickers) {
    date->setEnabled(false);
    time->setEnabled(false);
    SetNow(date, time);
  }
  for (QPushButton* button : {ConfirmAlarmBT, MeasureButton, GenTable, GenErrors})
    button->setVisible(false);
  // Each view is shown by the service once its first rebuild is done.
  VST->setVisible(false);
  CurrentChart->setVisible(false);
  errorVST->setVisible(false);
  CurrentChart->SetLegendVisible(false);

  connect(CurrPageControl, &QTabWidget::currentChanged, this, &TCurrentFrame::pageChanged);
  connect(CurrentPageControl, &QTabWidget::currentChanged, this,
          &TCurrentFrame::CurrentPageControlChange);
  connect(groupTreeFr, &TgroupTreeFr::changed, this, &TCurrentFrame::GroupTreeChange);
  connect(inUnitListViewFr, &TinUnitListViewFr::selectionChanged, this,
          &TCurrentFrame::ChannelListChange);
  connect(GenChart, &QPushButton::clicked, this, &TCurrentFrame::GenChartClick);
  // Only the operator's choice counts; filling the box is no choice.
  connect(periodCB, &QComboBox::activated, this, &TCurrentFrame::PeriodCBChange);
  connect(GenTable, &QPushButton::clicked, this, &TCurrentFrame::GenTableClick);
  connect(GenErrors, &QPushButton::clicked, this, &TCurrentFrame::GenErrorsClick);
  connect(MeasureButton, &QPushButton::clicked, this, &TCurrentFrame::MeasureButtonClick);
  connect(ConfirmAlarmBT, &QPushButton::clicked, this, &TCurrentFrame::ConfirmAlarmBTClick);
}

TCurrentFrame::~TCurrentFrame()
{
  ReleaseService();
}

bool TCurrentFrame::PlantViewActive() const
{
  return CurrPageControl->currentIndex() == PagePlantView;
}

void TCurrentFrame::SetParams(TMainDBParamsV4* params)
{
  if (m_params != nullptr || params == nullptr)
    return;
  m_params = params;
  qint32 chartPeriod = 0;
  {
    const auto lock = params->ReadLock();
    chartPeriod = params->Settings().ChartPeriod;
  }
  const QSignalBlocker block(periodCB);
  periodCB->clear();
  int selected = -1;
  for (const TPeriod& period : Periods()) {
    periodCB->addItem(QString::fromLatin1(period.Text), period.Seconds);
    if (selected < 0 && period.Seconds >= chartPeriod)
      selected = periodCB->count() - 1;
  }
  periodCB->setCurrentIndex(selected >= 0 ? selected : periodCB->count() - 1);
  SetNow(PrevBeginDate, PrevBeginTime);
  SetNow(PrevEndDate, PrevEndTime);
  SetNow(PrevBeginDate3, PrevBeginTime3);
  SetNow(PrevEndDate3, PrevEndTime3);
}

void TCurrentFrame::ReleaseService()
{
  for (const QMetaObject::Connection& link : std::as_const(m_serviceLinks))
    disconnect(link);
  m_serviceLinks.clear();
  m_requests = nullptr;
  m_ownedRequests.reset();
}

void TCurrentFrame::SetCurrThread(TCurrChartThr* thread)
{
  if (thread == nullptr) {
    AttachService<TCurrChartThr>(nullptr, nullptr);
    return;
  }
  auto requests = std::make_unique<TCurrThrRequests>(thread);
  AttachService(thread, requests.get());
  m_ownedRequests = std::move(requests);
}

void TCurrentFrame::RefreshLists()
{
  if (m_params == nullptr)
    return;
  inUnitListViewFr->Fill(m_params, false, false);
  // The visualisation frame refills its channel list here once it exists.
}

void TCurrentFrame::RefreshGroups()
{
  if (m_params == nullptr)
    return;
  groupTreeFr->Fill(m_params, false);
}

void TCurrentFrame::RequestTable()
{
  if (m_requests != nullptr)
    m_requests->RequestTable();
}

void TCurrentFrame::OnProgress(int code)
{
  switch (code & 0xFFFF) {
    case 0x0000:
      CurrentChart->setVisible(false);
      VST->setVisible(false);
      break;
    case 0x0001:
    case 0x0002:
    case 0x0004:
      VST->setVisible(false);
      break;
    case 0x0003:
      VST->setVisible(true);
      break;
    case 0x0011:
    case 0x0012:
    case 0x0014:
      CurrentChart->setVisible(false);
      break;
    case 0x0013:
      CurrentChart->setVisible(true);
      break;
    case 0x0021:
    case 0x0022:
    case 0x0024:
      errorVST->setVisible(false);
      break;
    case 0x0023:
      errorVST->setVisible(true);
      break;
    default:
      break;
  }
}

void TCurrentFrame::ShowErrors()
{
  if (DontShowErrorsCB->isChecked())
    return;
  CurrPageControl->setCurrentIndex(PageDeviceInfo);
  CurrPageControl->setVisible(true);
}

void TCurrentFrame::OnCurrTable(qint64 wParam, qint64 lParam)
{
  Q_UNUSED(lParam);
  // The rows themselves arrive through the table model; the message only
  // tells that the table changed. The visualisation frame takes changed
  // channels from here once it exists.
  if (wParam == 1)
    VST->viewport()->update();
}

void TCurrentFrame::DetermineSource()
{
  if (m_requests == nullptr)
    return;
  if (CurrentPageControl->currentIndex() == SourceGroups) {
    m_sourcePage = SourceGroups;
    m_requests->SetNextGroup(groupTreeFr->SelGroupId());
    m_requests->SelectSource(SourceGroups);
  } else {
    m_sourcePage = SourceDevices;
    m_requests->SetNextChannel(inUnitListViewFr->CurrentLogId());
    m_requests->SelectSource(SourceDevices);
  }
}

void TCurrentFrame::CurrentPageControlChange(int index)
{
  Q_UNUSED(index);
  DetermineSource();
}

void TCurrentFrame::GroupTreeChange()
{
  DetermineSource();
  if (m_requests == nullptr || groupTreeFr->SelGroupId() < 0)
    return;
  m_requests->SetHighlight(groupTreeFr->SelMemberLogId());
  // Another member of the shown group only moves the emphasis.
  if (groupTreeFr->SelGroupId() == groupTreeFr->PrevSelGroupId())
    return;
  m_requests->RequestRescale();
  m_requests->RequestChart();
}

void TCurrentFrame::ChannelListChange()
{
  DetermineSource();
  if (m_requests == nullptr)
    return;
  m_requests->SetNextChannel(inUnitListViewFr->CurrentLogId());
  m_requests->RequestRescale();
  m_requests->RequestChart();
}

void TCurrentFrame::GenChartClick()
{
  if (m_requests == nullptr)
    return;
  m_requests->RequestRescale();
  m_requests->RequestChart();
}

void TCurrentFrame::PeriodCBChange(int index)
{
  if (index < 0 || index >= periodCB->count())
    return;
  // The choice sets the live window for this session only; the stored
  // settings keep their chart period.
  m_chosenPeriod = periodCB->itemData(index).toInt();
  if (m_requests != nullptr)
    m_requests->SetChartPeriod(m_chosenPeriod);
  GenChartClick();
}

void TCurrentFrame::GenTableClick()
{
  if (m_requests == nullptr)
    return;
  m_requests->SetTableRange(PickedTime(PrevBeginDate, PrevBeginTime),
                            PickedTime(PrevEndDate, PrevEndTime));
  m_requests->RequestTable();
}

void TCurrentFrame::GenErrorsClick()
{
  if (m_requests == nullptr)
    return;
  m_requests->SetErrorRange(PickedTime(PrevBeginDate3, PrevBeginTime3),
                            PickedTime(PrevEndDate3, PrevEndTime3));
  m_requests->RequestErrors();
}

void TCurrentFrame::MeasureButtonClick()
{
  if (m_modbusAsk)
    m_modbusAsk(AskMeasurePass);
}

void TCurrentFrame::ConfirmAlarmBTClick()
{
  if (m_params != nullptr)
    m_params->Alarms().ConfirmAll();
  if (m_modbusAsk)
    m_modbusAsk(AskUpdateOutputs);
}

void TCurrentFrame::OnLatestTime(double time)
{
  QDate date;
  QTime clock;
  if (!DoubleToDateTime(time, date, clock))
    return;
  PrevEndDate->setDate(date);
  PrevEndTime->setTime(clock);
  PrevEndDate3->setDate(date);
  PrevEndTime3->setTime(clock);
}
