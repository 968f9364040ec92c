#pragma once

// Qt implementation of the operator prompts. Boxes and the server path
// dialog are created on the UI thread; a worker that asks waits for the
// answer while the UI stays responsive, and gives up (closing the box) when
// it is told to stop or shutdown begins.

#include "app/userPrompts.h"

#include <QPointer>
#include <QWidget>

class TserverPathForm;

class TUiPrompts : public IUserPrompts {
 public:
  // Thread contract: UI thread.
  void SetParentWindow(QWidget* parent) { m_parent = parent; }
  void SetServerPathForm(TserverPathForm* form) { m_pathForm = form; }

  int MessageBox(const TBoxRequest& box, const TAbandonCheck& abandon = {}) override;
  bool AskServerPath(QString& path, const TAbandonCheck& abandon = {}) override;

 private:
  // Both are read on the UI thread only (inside the posted dialog code).
  QPointer<QWidget> m_parent;
  QPointer<TserverPathForm> m_pathForm;
};
