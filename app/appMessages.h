#pragma once

// Application messages: the fixed set of notifications through which worker
// threads and frames tell the main window (and the installation window) that
// something changed. The numbers are kept so every sender and handler can be
// traced to the message table; delivery is a typed call, not a window message.
//
// Synchronous messages go through UiBridge::sendToUi (the sender waits for
// the handler); messages nobody waits for (activity, progress, show errors,
// table row changes) are posted. Anything posted carries values or ids,
// never a pointer that could dangle by the time it is handled.

#include <QtGlobal>

enum class AppMsg : quint32 {
  UnitsInstalled = 0x8064,   // WM_APP_UNITS_INSTALLED: object = configuration
  InstallList = 0x8065,      // WM_APP_INSTALL_LIST: object = configuration
  GroupsChanged = 0x8066,    // WM_APP_GROUPS_CHANGED
  Activity = 0x8067,         // WM_APP_ACTIVITY: wParam = source (posted)
  WindowCmd = 0x8068,        // WM_APP_WINDOW_CMD: wParam = TWindowCmd, lParam = wizard page
  Progress = 0x8069,         // WM_APP_PROGRESS: wParam = frame << 16 | code (posted)
  ShowErrors = 0x806A,       // WM_APP_SHOW_ERRORS (posted)
  SetObject = 0x806B,        // WM_APP_SET_OBJECT: wParam = TSetObjectKind, object
  CurrTable = 0x806C,        // WM_APP_CURR_TABLE: wParam 0 hand-over / 1 change, lParam
  LoggerInfo = 0x806D,       // WM_APP_LOGGER_INFO
  ConfigChanged = 0x806E,    // WM_APP_CONFIG_CHANGED: object = configuration
  SettingsChanged = 0x806F,  // WM_APP_SETTINGS_CHANGED: object = configuration or null
  InstallStep = 0x8078,      // WM_APP_INSTALL_STEP (installation window)
};

// Commands of AppMsg::WindowCmd to the main window.
enum TWindowCmd : int {
  CmdShowMain = 1,
  CmdHideMain = 2,
  CmdShowInstall = 3,
  CmdHideInstall = 4,
  CmdShowSplash = 5,
  CmdHideSplash = 6,
  CmdTerminate = 7,
  CmdShowVisual = 9,
  CmdHideVisual = 10,
};

// Kinds of AppMsg::SetObject.
enum TSetObjectKind : int {
  SetObjConfiguration = 1,
  SetObjMeasureLog = 2,
  SetObjCurrChart = 3,
  SetObjReportThread = 4,
};

// Frames addressed by the high word of AppMsg::Progress.
enum TProgressTarget : int { ProgressReportFrame = 1, ProgressCurrentFrame = 2 };

struct TAppMessage {
  AppMsg Msg;
  qint64 WParam = 0;
  qint64 LParam = 0;
  // Object handed over by synchronous messages only (configuration, threads);
  // the sender keeps it alive until the handler has returned and beyond.
  void* Object = nullptr;
};

// Implemented by the windows that receive application messages. Called on the
// UI thread only.
class IAppMessageSink {
 public:
  virtual ~IAppMessageSink() = default;
  virtual void AppMessage(const TAppMessage& message) = 0;
};

namespace AppMessages {

// The main window registers itself while it exists (null to unregister).
// Thread contract: UI thread.
void SetMainTarget(IAppMessageSink* sink);

// Thread contract: any thread, holding no locks. Returns false when the
// message was not handled (no target, or shutdown has begun).
bool SendToMain(const TAppMessage& message);
// Thread contract: any thread. The message is copied; Object must be null.
void PostToMain(const TAppMessage& message);

}  // namespace AppMessages
