#pragma once

// Tests that check what a worker reported look for the exact line in the
// process-wide status log (created by the test on the UI thread).

#include "app/statusLog.h"

inline bool StatusLogHas(const QString& text)
{
  TEventListModel* model = StatusLog()->Model();
  for (int row = 0; row < model->rowCount(); ++row) {
    if (model->Entry(row).Text == text)
      return true;
  }
  return false;
}
