#include "app/Main_Form.h"

#include "app/InfoFrame.h"
#include "app/PasswordForm.h"
#include "app/appIcons.h"
#include "app/appSettings.h"
#include "app/commonClass.h"
#include "app/statusLog.h"
#include "app/statusLogFrame.h"
#include "app/splash_OEM.h"
#include "app/translation.h"
#include "app/userPrompts.h"
#include "config/groupConfigFr.h"
#include "reports/currentFrame.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {
constexpr int kKeepOnScreen = 50;
const QString kWinPosX = QStringLiteral("WINPOSX");
const QString kWinPosY = QStringLiteral("WINPOSY");
const QString kWinSizeX = QStringLiteral("WINSIZEX");
const QString kWinSizeY = QStringLiteral("WINSIZEY");
const QString kDontShowErrors = QStringLiteral("DontShowErrors");
}  // namespace

TStoredPlacement ReadStoredPlacement(const QSettings& settings)
{
  TStoredPlacement placement;
  int value = 0;
  if (!ReadIntSetting(settings, kWinPosX, value))
    return placement;
  placement.Left = value;
  if (!ReadIntSetting(settings, kWinPosY, value))
    return placement;
  placement.Top = value;
  if (!ReadIntSetting(settings, kWinSizeX, value))
    return placement;
  placement.Width = value;
  if (!ReadIntSetting(settings, kWinSizeY, value))
    return placement;
  placement.Height = value;
  const QVariant dont = settings.value(kDontShowErrors);
  if (!dont.isValid())
    return placement;
  // Booleans written by other programs of the installation may be 0/1 or text.
  const QString text = dont.toString().trimmed().toLower();
  if (text == QLatin1String("true") || text == QLatin1String("1"))
    placement.DontShowErrors = true;
  else if (text == QLatin1String("false") || text == QLatin1String("0"))
    placement.DontShowErrors = false;
  return placement;
}

void WriteStoredPlacement(QSettings& settings, const QRect& geometry, bool dontShowErrors)
{
  settings.setValue(kWinPosX, geometry.left());
  settings.setValue(kWinPosY, geometry.top());
  settings.setValue(kWinSizeX, geometry.width());
  settings.setValue(kWinSizeY, geometry.height());
  settings.setValue(kDontShowErrors, dontShowErrors);
}

QPoint ClampWindowPosition(const QPoint& topLeft, const QRect& available)
{
  const int maxX = available.left() + available.width() - kKeepOnScreen;
  const int maxY = available.top() + available.height() - kKeepOnScreen;
  return {std::max(available.left(), std::min(topLeft.x(), maxX)),
          std::max(available.top(), std::min(topLeft.y(), maxY))};
}

QString MainCaption(const QString& title, const QStringList& arguments)
{
  QString caption = QStringLiteral("%1 %2").arg(title, VersionText3());
  if (!arguments.isEmpty()) {
    caption += QStringLiteral(" [");
    for (const QString& arg : arguments)
      caption += QLatin1Char(' ') + arg;
    caption += QLatin1Char(']');
  }
  return caption;
}

// ---------------------------------------------------------------------------

TMainForm::TMainForm(IUserPrompts& prompts, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts)
{
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Dravolux Soft"));
  setMinimumSize(620, 385);
  resize(800, 560);

  BuildPages();

  const QIcon icon = MainIcon();
  setWindowIcon(icon);
  setWindowTitle(MainCaption(QCoreApplication::applicationName(), arguments));

  // The "Alarms" page is not offered in the terminal.
  m_configPages->setTabVisible(2, false);
  m_statusLog->SetFrameHeight(120);
  m_statusLog->ShowLog(false);

  ApplyStoredPlacement();
  SetupTray();
  SetAdvanced(false);
  m_info->Refresh();

  m_askPassword = [this] {
    TPasswordDlg dialog(this);
    return dialog.Ask();
  };
  AppMessages::SetMainTarget(this);
}

TMainForm::~TMainForm()
{
  m_closing = true;
  AppMessages::SetMainTarget(nullptr);
}

void TMainForm::BuildPages()
{
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  m_mainPages = new QTabWidget(central);
  m_mainPages->setObjectName(QStringLiteral("MainPageControl"));
  m_mainPages->setDocumentMode(true);

  // The functional frames are placed on these pages by their own modules.
  auto* preview = new QWidget;
  preview->setObjectName(QStringLiteral("PreviewSheet"));
  auto* reports = new QWidget;
  reports->setObjectName(QStringLiteral("ReportsSheet"));
  auto* configuration = new QWidget;
  configuration->setObjectName(QStringLiteral("Konfiguracja"));
  auto* infoSheet = new QWidget;
  infoSheet->setObjectName(QStringLiteral("InfoSheet"));

  m_configPages = new QTabWidget(configuration);
  m_configPages->setObjectName(QStringLiteral("pgcConfiguration"));
  struct ConfigPage {
    const char* name;
    const char* caption;
  };
  const ConfigPage pages[] = {{"Urzadzenia", TrNoop("Devices")},
                              {"Grupy", TrNoop("Groups")},
                              {"Alarms", TrNoop("Alarms")},
                              {"settingsTS", TrNoop("Settings")},
                              {"gsmTS", "GSM"}};
  for (const ConfigPage& page : pages) {
    auto* sheet = new QWidget;
    sheet->setObjectName(QString::fromLatin1(page.name));
    m_configPages->addTab(sheet, Tr(page.caption));
  }
  {
    QWidget* groupsSheet = m_configPages->widget(1);
    m_groupConfig = new TgroupConfigFr(groupsSheet);
    auto* groupsLayout = new QVBoxLayout(groupsSheet);
    groupsLayout->setContentsMargins(0, 0, 0, 0);
    groupsLayout->addWidget(m_groupConfig);
  }
  m_configPages->setTabVisible(4, false);  // the GSM page has no function
  auto* configLayout = new QVBoxLayout(configuration);
  configLayout->setContentsMargins(0, 0, 0, 0);
  configLayout->addWidget(m_configPages);

  m_advancedMode = new QPushButton(m_configPages);
  m_advancedMode->setObjectName(QStringLiteral("AdvancedMode"));
  m_configPages->setCornerWidget(m_advancedMode, Qt::TopRightCorner);
  connect(m_advancedMode, &QPushButton::clicked, this, &TMainForm::AdvancedModeClick);

  m_currentFrame = new TCurrentFrame(preview);
  auto* previewLayout = new QVBoxLayout(preview);
  previewLayout->setContentsMargins(0, 0, 0, 0);
  previewLayout->addWidget(m_currentFrame);
  connect(m_currentFrame, &TCurrentFrame::pageChanged, this, [this] { CurrentPageHandling(); });
  // The operator's "Do not call" is saved with the window placement.
  connect(m_currentFrame->DontShowErrorsCB, &QCheckBox::toggled, this,
          [this](bool on) { m_dontShowErrors = on; });

  m_info = new TInfoFr(infoSheet);
  auto* infoLayout = new QVBoxLayout(infoSheet);
  infoLayout->addWidget(m_info);

  m_mainPages->addTab(preview, Tr("Current measurement"));
  m_mainPages->addTab(reports, Tr("Reports"));
  m_mainPages->addTab(configuration, Tr("Configuration"));
  m_mainPages->addTab(infoSheet, Tr("Info"));
  m_mainPages->setCurrentIndex(PageCurrent);

  m_statusLog = new TstatusLogFr(central);
  m_statusLog->Init();

  layout->addWidget(m_mainPages, 1);
  layout->addWidget(m_statusLog);
  setCentralWidget(central);

  connect(m_mainPages, &QTabWidget::currentChanged, this, &TMainForm::MainPageControlChange);
  connect(m_configPages, &QTabWidget::currentChanged, this, &TMainForm::ConfigurationPageChange);
  MainPageControlChange(m_mainPages->currentIndex());
}

void TMainForm::ApplyStoredPlacement()
{
  const QRect available = screen() != nullptr ? screen()->availableVirtualGeometry()
                                              : QRect(0, 0, 1920, 1080);
  // Centred unless a complete placement was stored.
  const TStoredPlacement placement = ReadStoredPlacement(*UserSettings());
  if (placement.Width)
    resize(std::max(*placement.Width, minimumWidth()), height());
  if (placement.Height)
    resize(width(), std::max(*placement.Height, minimumHeight()));
  QRect frame(QPoint(0, 0), size());
  frame.moveCenter(available.center());
  QPoint topLeft = frame.topLeft();
  if (placement.Complete())
    topLeft = QPoint(*placement.Left, *placement.Top);
  m_dontShowErrors = placement.DontShowErrors.value_or(false);
  m_currentFrame->DontShowErrorsCB->setChecked(m_dontShowErrors);
  move(ClampWindowPosition(topLeft, available));
}

void TMainForm::SaveWindowState()
{
  if (isMinimized() || isMaximized() || isFullScreen())
    showNormal();
  auto settings = UserSettings();
  WriteStoredPlacement(*settings, geometry(), m_dontShowErrors);
}

void TMainForm::SetupTray()
{
  if (!QSystemTrayIcon::isSystemTrayAvailable())
    return;
  m_tray = new QSystemTrayIcon(windowIcon(), this);
  m_tray->setToolTip(QCoreApplication::applicationName());
  connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason why) {
    if (why == QSystemTrayIcon::DoubleClick) {
      showNormal();
      activateWindow();
    }
  });
  m_tray->show();
}

void TMainForm::changeEvent(QEvent* event)
{
  QMainWindow::changeEvent(event);
  // Without a tray the minimised window could not be brought back, so it is
  // only hidden when a tray icon is there to restore it.
  if (event->type() == QEvent::WindowStateChange && isMinimized() && m_tray != nullptr)
    QMetaObject::invokeMethod(this, &QWidget::hide, Qt::QueuedConnection);
}

void TMainForm::closeEvent(QCloseEvent* event)
{
  // The controller closes the program in order; the window only asks.
  event->ignore();
  if (m_closeHandler)
    m_closeHandler();
}

void TMainForm::SetAdvanced(bool on)
{
  m_advanced = on;
  m_advancedMode->setText(on ? Tr("Hide advanced options") : Tr("Show advanced options"));
}

void TMainForm::AdvancedModeClick()
{
  if (m_advanced) {
    m_advanced = false;
  } else {
    switch (m_askPassword ? m_askPassword() : 255) {
      case 0: {
        TBoxRequest box;
        box.Caption = Tr("WARNING");
        box.Text = Tr("WARNING !\n\rChange of settings can cause in improper operation of the "
                      "system. Are you sure to continue?");
        box.Icon = TBoxIcon::Warning;
        box.Buttons = TBoxButtons::YesNo;
        box.Default = BoxNo;
        if (m_prompts.MessageBox(box) == BoxYes)
          m_advanced = true;
        break;
      }
      case 1: {
        TBoxRequest box;
        box.Text = Tr("Incorect password");
        box.Caption = Tr("Authorization error");
        m_prompts.MessageBox(box);
        break;
      }
      default:
        break;
    }
  }
  SetAdvanced(m_advanced);
}

bool TMainForm::CanLeavePage()
{
  for (const auto& guard : m_leaveGuards) {
    if (!guard())
      return false;
  }
  return true;
}

bool TMainForm::AcceptPageChange(QTabWidget* pages, int index, int& lastIndex)
{
  if (m_revertingPage)
    return false;
  // QTabWidget cannot veto a change, so a refused one is undone.
  if (index != lastIndex && !CanLeavePage()) {
    m_revertingPage = true;
    pages->setCurrentIndex(lastIndex);
    m_revertingPage = false;
    return false;
  }
  lastIndex = index;
  return true;
}

void TMainForm::MainPageControlChange(int index)
{
  if (!AcceptPageChange(m_mainPages, index, m_lastMainPage))
    return;
  qint64 source = 0;
  CurrentPageHandling();
  if (index >= PageCurrent && index <= PageInfo) {
    m_pageIndex = static_cast<quint8>(index);
    source = index + 1;
  }
  // Nobody waits for the activity notice; it is posted, never sent.
  AppMessages::PostToMain({AppMsg::Activity, source, 0, nullptr});
}

void TMainForm::ConfigurationPageChange(int index)
{
  AcceptPageChange(m_configPages, index, m_lastConfigPage);
}

void TMainForm::CurrentPageHandling()
{
  QTabWidget* target = m_configPages;
  if (m_mainPages->currentIndex() == PageCurrent && m_currentFrame->PlantViewActive())
    target = m_currentFrame->CurrPageControl;
  if (m_advancedMode->parentWidget() == target)
    return;
  // A tab widget keeps laying out its corner widget until it is told to
  // let go of it.
  if (auto* from = qobject_cast<QTabWidget*>(m_advancedMode->parentWidget()))
    from->setCornerWidget(nullptr, Qt::TopRightCorner);
  target->setCornerWidget(m_advancedMode, Qt::TopRightCorner);
  m_advancedMode->show();
  // The visualisation frame refreshes here once it exists.
}

void TMainForm::SetConfiguration(TMainDBParamsV4* params)
{
  m_params = params;
  m_groupConfig->SetCentral(params);
}

void TMainForm::SetObject(int kind, void* object)
{
  switch (kind) {
    case SetObjConfiguration: {
      auto* params = static_cast<TMainDBParamsV4*>(object);
      SetConfiguration(params);
      m_currentFrame->SetParams(params);
      break;
    }
    case SetObjCurrChart:
      m_currentFrame->SetCurrThread(static_cast<TCurrChartThr*>(object));
      break;
    default:
      // The measurement logging controller and the report thread go to
      // frames that attach here when they exist.
      break;
  }
}

void TMainForm::RefreshConfiguration()
{
  m_currentFrame->RequestTable();
  m_currentFrame->RefreshLists();
}

void TMainForm::RefreshGroups()
{
  m_currentFrame->RefreshGroups();
  m_groupConfig->Refresh();
}

void TMainForm::WindowCommand(int cmd)
{
  switch (cmd) {
    case CmdShowMain:
      show();
      SetMainFormShown(true);
      break;
    case CmdHideMain:
      hide();
      break;
    case CmdShowSplash:
      if (m_splash)
        m_splash->show();
      break;
    case CmdHideSplash:
      if (m_splash)
        m_splash->hide();
      break;
    case CmdTerminate:
      QCoreApplication::quit();
      break;
    default:
      // The installation window and the visualisation frame attach here
      // when they exist.
      break;
  }
}

void TMainForm::AppMessage(const TAppMessage& message)
{
  switch (message.Msg) {
    case AppMsg::WindowCmd:
      WindowCommand(static_cast<int>(message.WParam));
      break;
    case AppMsg::SetObject:
      SetObject(static_cast<int>(message.WParam), message.Object);
      break;
    case AppMsg::UnitsInstalled:
    case AppMsg::ConfigChanged:
      if (message.Object != nullptr)
        SetConfiguration(static_cast<TMainDBParamsV4*>(message.Object));
      RefreshConfiguration();
      RefreshGroups();
      break;
    case AppMsg::InstallList:
      if (message.Object != nullptr)
        SetConfiguration(static_cast<TMainDBParamsV4*>(message.Object));
      break;
    case AppMsg::GroupsChanged:
      RefreshGroups();
      break;
    case AppMsg::Progress:
      if (m_closing)
        return;
      if ((message.WParam >> 16) == ProgressCurrentFrame)
        m_currentFrame->OnProgress(static_cast<int>(message.WParam & 0xFFFF));
      break;
    case AppMsg::ShowErrors:
      m_currentFrame->ShowErrors();
      break;
    case AppMsg::CurrTable:
      m_currentFrame->OnCurrTable(message.WParam, message.LParam);
      break;
    case AppMsg::SettingsChanged:
      // The settings frame reloads from here once it exists.
      if (message.Object != nullptr)
        SetConfiguration(static_cast<TMainDBParamsV4*>(message.Object));
      break;
    case AppMsg::Activity:
      // Kept for the senders; it has no effect.
    default:
      break;
  }
}

void TMainForm::SetSplash(TSplashScreenForm* splash) { m_splash = splash; }
