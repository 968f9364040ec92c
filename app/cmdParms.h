#pragma once

// Command-line options of the terminal, parsed once at start-up by the logic
// controller and read by the configuration, the Modbus side and the settings
// page for the rest of the run.
//
// Thread contract: Parse() runs once on the controller thread before any other
// thread reads the fields; afterwards the object is read-only, so readers on
// other threads need no lock.

#include <QString>
#include <QStringList>

class TcmdParms {
 public:
  TcmdParms();

  // 0 when every argument was accepted, -1 at the first one that was not
  // (later arguments are not looked at). The program name is not an argument.
  int Parse(const QStringList& arguments);

  qint32 BaudRate = 9600;
  bool Preview = false;
  qint32 Retries = 2;
  QString BasesDir;
  bool ExtraMessages = false;
  bool HiSpeedLog = false;
  qint32 RValue = 20;
  // Lines separated by LF CR exactly as shown to operators of the other
  // programs of the installation; DisplayHelpText() drops the CRs for Qt labels.
  QString HelpText;

  QString DisplayHelpText() const;

  static QString DefaultBasesDir();
  static bool IsAcceptedBaudRate(qint32 rate);
};
