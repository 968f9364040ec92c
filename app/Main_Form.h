#pragma once

// The main window: the page control with the functional frames, the status
// log at the bottom, the tray icon and the advanced mode. It receives the
// application messages and routes them to the frames, and hands its close
// request to the logic controller, which closes the program in order.

#include "app/appMessages.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <optional>
#include <vector>

class QPushButton;
class QSettings;
class QSystemTrayIcon;
class QTabWidget;
class IUserPrompts;
class TInfoFr;
class TMainDBParamsV4;
class TCurrentFrame;
class TSplashScreenForm;
class TgroupConfigFr;
class TstatusLogFr;

// Window placement as stored in the user settings. Reading stops at the first
// value that is missing or not an integer; later values stay unset.
struct TStoredPlacement {
  std::optional<int> Left, Top, Width, Height;
  std::optional<bool> DontShowErrors;
  bool Complete() const { return DontShowErrors.has_value(); }
};
TStoredPlacement ReadStoredPlacement(const QSettings& settings);
void WriteStoredPlacement(QSettings& settings, const QRect& geometry, bool dontShowErrors);

// Keeps the window's top-left corner inside the available desktop with at
// least 50 pixels of the window on screen.
QPoint ClampWindowPosition(const QPoint& topLeft, const QRect& available);

// "Dravolux Soft Terminal 3.1.0" plus " [ a b]" when started with arguments.
QString MainCaption(const QString& title, const QStringList& arguments);

class TMainForm : public QMainWindow, public IAppMessageSink {
  Q_OBJECT
 public:
  enum TPage : quint8 { PageCurrent = 0, PageReports = 1, PageConfiguration = 2, PageInfo = 3 };

  TMainForm(IUserPrompts& prompts, const QStringList& arguments, QWidget* parent = nullptr);
  ~TMainForm() override;

  // Thread contract: UI thread (delivered by AppMessages).
  void AppMessage(const TAppMessage& message) override;

  void SetAdvanced(bool on);
  bool Advanced() const { return m_advanced; }
  quint8 PageIndex() const { return m_pageIndex; }
  TMainDBParamsV4* Params() const { return m_params; }
  bool DontShowErrors() const { return m_dontShowErrors; }
  void SaveWindowState();

  void SetSplash(TSplashScreenForm* splash);
  // The password check of the advanced mode: 0 right, 1 wrong, 255 cancelled.
  void SetPasswordAsker(std::function<int()> ask) { m_askPassword = std::move(ask); }
  // A frame with unsaved changes may refuse leaving its page (true = leave).
  void AddLeavePageGuard(std::function<bool()> guard) { m_leaveGuards.push_back(std::move(guard)); }
  // Called when the user asks to close the window; the window itself stays.
  void SetCloseHandler(std::function<void()> handler) { m_closeHandler = std::move(handler); }
  // From here on worker notifications are dropped (the window is going away).
  void BeginClosing() { m_closing = true; }

  QTabWidget* MainPageControl() const { return m_mainPages; }
  QTabWidget* ConfigurationPages() const { return m_configPages; }
  QPushButton* AdvancedModeButton() const { return m_advancedMode; }
  TstatusLogFr* StatusLogFrame() const { return m_statusLog; }
  TCurrentFrame* CurrentFrame() const { return m_currentFrame; }
  TgroupConfigFr* GroupConfigFrame() const { return m_groupConfig; }

 public Q_SLOTS:
  void AdvancedModeClick();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildPages();
  void ApplyStoredPlacement();
  void MainPageControlChange(int index);
  void ConfigurationPageChange(int index);
  bool CanLeavePage();
  // False when the change was refused (and undone) or is the undo itself.
  bool AcceptPageChange(QTabWidget* pages, int index, int& lastIndex);
  void WindowCommand(int cmd);
  void SetConfiguration(TMainDBParamsV4* params);
  void SetObject(int kind, void* object);
  // Units installed or new definitions: every channel and group list.
  void RefreshConfiguration();
  void RefreshGroups();
  // The advanced-mode button sits on the visualisation page while it is
  // shown, on the configuration page otherwise.
  void CurrentPageHandling();
  void SetupTray();

  IUserPrompts& m_prompts;
  QTabWidget* m_mainPages = nullptr;
  QTabWidget* m_configPages = nullptr;
  QPushButton* m_advancedMode = nullptr;
  TstatusLogFr* m_statusLog = nullptr;
  TInfoFr* m_info = nullptr;
  TCurrentFrame* m_currentFrame = nullptr;
  TgroupConfigFr* m_groupConfig = nullptr;
  QSystemTrayIcon* m_tray = nullptr;
  QPointer<TSplashScreenForm> m_splash;
  TMainDBParamsV4* m_params = nullptr;
  std::function<int()> m_askPassword;
  std::function<void()> m_closeHandler;
  std::vector<std::function<bool()>> m_leaveGuards;
  quint8 m_pageIndex = PageCurrent;
  bool m_advanced = false;
  bool m_dontShowErrors = false;
  bool m_closing = false;
  // Page changes that a guard refused are undone by switching back.
  int m_lastMainPage = 0;
  int m_lastConfigPage = 0;
  bool m_revertingPage = false;
};
