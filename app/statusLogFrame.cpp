#include "app/statusLogFrame.h"

#include "app/translation.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {
constexpr int kButtonPanelWidth = 100;
constexpr int kGaugePanelWidth = 100;
constexpr int kMinLogHeight = 100;
constexpr int kDefaultLogHeight = 200;
constexpr int kDateColumnWidth = 150;
constexpr int kDescriptionColumnWidth = 423;
}  // namespace

TstatusLogFr::TstatusLogFr(QWidget* parent, TStatusLog* log) : QFrame(parent), m_log(log)
{
  setObjectName(QStringLiteral("statusLogFr"));

  AlarmLogVST = new QTableView(this);
  AlarmLogVST->setObjectName(QStringLiteral("AlarmLogVST"));
  AlarmLogVST->setMinimumHeight(kMinLogHeight);
  AlarmLogVST->setSelectionBehavior(QAbstractItemView::SelectRows);
  AlarmLogVST->setSelectionMode(QAbstractItemView::SingleSelection);
  AlarmLogVST->setEditTriggers(QAbstractItemView::NoEditTriggers);
  AlarmLogVST->setWordWrap(false);
  AlarmLogVST->verticalHeader()->hide();
  AlarmLogVST->verticalHeader()->setDefaultSectionSize(AlarmLogVST->fontMetrics().height() + 4);
  AlarmLogVST->horizontalHeader()->setHighlightSections(false);
  AlarmLogVST->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  {
    // Tooltip colours set the list apart from the pages above it.
    QPalette palette = AlarmLogVST->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::ToolTipBase));
    palette.setColor(QPalette::Text, palette.color(QPalette::ToolTipText));
    AlarmLogVST->setPalette(palette);
  }
  if (m_log != nullptr)
    AlarmLogVST->setModel(m_log->Model());
  AlarmLogVST->setColumnWidth(TEventListModel::DateColumn, kDateColumnWidth);
  AlarmLogVST->setColumnWidth(TEventListModel::DescriptionColumn, kDescriptionColumnWidth);
  AlarmLogVST->hide();

  StatusBar = new QStatusBar(this);
  StatusBar->setObjectName(QStringLiteral("StatusBar"));
  StatusBar->setSizeGripEnabled(false);

  LogBT = new QPushButton(Tr("Log"), StatusBar);
  LogBT->setObjectName(QStringLiteral("LogBT"));
  LogBT->setFixedWidth(kButtonPanelWidth);
  // The button must not keep the focus: Enter would toggle the list again.
  LogBT->setFocusPolicy(Qt::NoFocus);
  connect(LogBT, &QPushButton::clicked, this, &TstatusLogFr::LogBTClick);

  StatusText = new QLabel(StatusBar);
  // Long texts must not widen the main window; the panel takes what is left.
  StatusText->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

  GaugePanel = new QWidget(StatusBar);
  GaugePanel->setFixedWidth(kGaugePanelWidth);
  auto* gaugeLayout = new QHBoxLayout(GaugePanel);
  gaugeLayout->setContentsMargins(0, 0, 0, 0);
  Gauge = new QProgressBar(GaugePanel);
  Gauge->setRange(0, 100);
  Gauge->setTextVisible(false);
  gaugeLayout->addWidget(Gauge);
  Gauge->hide();

  StatusBar->addWidget(LogBT, 0);
  StatusBar->addWidget(StatusText, 1);
  StatusBar->addPermanentWidget(GaugePanel, 0);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(AlarmLogVST, 1);
  layout->addWidget(StatusBar, 0);

  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

  Timer1 = new QTimer(this);
  Timer1->setInterval(1000);
  if (m_log != nullptr) {
    connect(Timer1, &QTimer::timeout, m_log, &TStatusLog::Tick);
    connect(m_log, &TStatusLog::restartRotationTimer, Timer1, qOverload<>(&QTimer::start));
    connect(m_log, &TStatusLog::statusDisplayed, this, &TstatusLogFr::OnStatusDisplayed);
    connect(m_log, &TStatusLog::logVisibilityRequested, this, &TstatusLogFr::ShowLog);
    OnStatusDisplayed(m_log->DisplayedText(), m_log->DisplayedValue());
  }
  Timer1->start();
}

void TstatusLogFr::Init()
{
  m_frameHeight = kDefaultLogHeight + StatusBar->sizeHint().height();
  LogBT->setText(Tr("Log"));
  if (m_log != nullptr)
    m_log->Model()->Retranslate();
  ApplyHeight();
}

void TstatusLogFr::ShowLog(bool show)
{
  if (show && m_frameHeight < kMinLogHeight)
    m_frameHeight = kDefaultLogHeight;
  AlarmLogVST->setVisible(show);
  ApplyHeight();
  if (show) {
    AlarmLogVST->scrollToBottom();
    // The scroll range catches up with freshly added rows only after the
    // view's delayed layout; scroll again once it has run.
    QMetaObject::invokeMethod(AlarmLogVST, &QTableView::scrollToBottom, Qt::QueuedConnection);
  }
}

bool TstatusLogFr::LogVisible() const { return !AlarmLogVST->isHidden(); }

void TstatusLogFr::LogBTClick() { ShowLog(!LogVisible()); }

void TstatusLogFr::SetFrameHeight(int height)
{
  m_frameHeight = height;
  ApplyHeight();
}

QSize TstatusLogFr::sizeHint() const
{
  const QSize hint = QFrame::sizeHint();
  const int height = LogVisible() ? m_frameHeight : StatusBar->sizeHint().height();
  return QSize(hint.width(), height);
}

void TstatusLogFr::ApplyHeight()
{
  updateGeometry();
  // Without a managing layout nobody else applies the new size hint.
  if (parentWidget() == nullptr || parentWidget()->layout() == nullptr)
    resize(width(), sizeHint().height());
}

void TstatusLogFr::OnStatusDisplayed(const QString& text, int value)
{
  StatusText->setText(text);
  if (value == -1) {
    Gauge->hide();
  } else {
    // Out-of-range values would be ignored by the bar and leave the old one.
    Gauge->setValue(qBound(Gauge->minimum(), value, Gauge->maximum()));
    Gauge->show();
  }
}
