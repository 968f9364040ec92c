#pragma once

// Central configuration shared by every thread and frame. Only what the logic
// controller needs exists so far; the device model fills in units, groups,
// alarms, settings and the store.

#include <QString>

class TTypeListV4;
class TcmdParms;

class TMainDBParamsV4 {
 public:
  TMainDBParamsV4(TTypeListV4* typeList, const TcmdParms* cmdParms);
  TMainDBParamsV4(const TMainDBParamsV4&) = delete;
  TMainDBParamsV4& operator=(const TMainDBParamsV4&) = delete;
  ~TMainDBParamsV4();

  // Stops the main-definitions store thread; called during shutdown before
  // the configuration is freed. Thread contract: controller thread.
  void StopStore();

  // True when the installation's parameters say devices were installed.
  bool WasInstall() const { return m_wasInstall; }

  TTypeListV4* const TypeList;
  const TcmdParms* const CmdParms;
  const QString BasesDir;

 private:
  bool m_wasInstall = false;
};
