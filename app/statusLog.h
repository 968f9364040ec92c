#pragma once

// The status log: a growing list of time-stamped messages (errors and
// information) and the status entries shown one at a time in the status bar.
//
// The global operations below may be called from any thread. They take the
// time at the call and post a copy to the UI thread; the caller never blocks.
// The model and the rotation state live in the UI thread only.

#include <QString>
#include <QtGlobal>

enum TLogKind : quint8 { LogError = 0, LogInfo = 1 };

// A status entry is addressed by an id owned by the worker that created it;
// 0 means "no entry".
using TStatusEntryId = quint32;

// Thread contract (all five): any thread, non-blocking.
void AddLogMessage(const QString& text, int kind);
TStatusEntryId NewStatusEntry();
void FreeStatusEntry(TStatusEntryId& entry);  // clears the caller's id
void SetStatusEntry(TStatusEntryId entry, const QString& text, int value, bool visible);
void ShowStatusEntry(TStatusEntryId entry);

// The application's show-main-form flag: status entries are not displayed
// before the main window has been shown. Thread contract: any thread.
void SetMainFormShown(bool shown);
bool MainFormShown();
