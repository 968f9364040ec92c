#include "app/uiPrompts.h"

#include "app/netPathForm.h"
#include "app/translation.h"
#include "app/uiBridge.h"

#include <QMessageBox>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <optional>

namespace {

QMessageBox::Icon ToQtIcon(TBoxIcon icon)
{
  switch (icon) {
    case TBoxIcon::Information:
      return QMessageBox::Information;
    case TBoxIcon::Warning:
      return QMessageBox::Warning;
    case TBoxIcon::Error:
      return QMessageBox::Critical;
    case TBoxIcon::Question:
      return QMessageBox::Question;
    case TBoxIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(TBoxButtons buttons)
{
  switch (buttons) {
    case TBoxButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case TBoxButtons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case TBoxButtons::Ok:
      break;
  }
  return QMessageBox::Ok;
}

QMessageBox::StandardButton ToQtButton(TBoxResult result)
{
  switch (result) {
    case BoxYes:
      return QMessageBox::Yes;
    case BoxNo:
      return QMessageBox::No;
    case BoxCancel:
      return QMessageBox::Cancel;
    case BoxOk:
      return QMessageBox::Ok;
    case BoxNone:
      break;
  }
  return QMessageBox::NoButton;
}

int FromQtButton(int button)
{
  switch (button) {
    case QMessageBox::Ok:
      return BoxOk;
    case QMessageBox::Yes:
      return BoxYes;
    case QMessageBox::No:
      return BoxNo;
    case QMessageBox::Cancel:
      return BoxCancel;
    default:
      return BoxNone;
  }
}

QMessageBox* CreateBox(const TBoxRequest& request, QWidget* parent)
{
  auto* box = new QMessageBox(ToQtIcon(request.Icon), DisplayText(request.Caption),
                              DisplayText(request.Text), ToQtButtons(request.Buttons), parent);
  const QMessageBox::StandardButton def = ToQtButton(request.Default);
  if (def != QMessageBox::NoButton)
    box->setDefaultButton(def);
  return box;
}

// A dialog opened on the UI thread for a waiting worker. Standard primitives
// keep the hand-over visible to ThreadSanitizer.
struct TPendingDialog {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  int Result = 0;
  std::atomic<bool> Abandoned{false};
  QPointer<QDialog> Dialog;  // UI thread only
};

// Opens the dialog made by `open` on the UI thread and waits for its result.
// `open` returns the dialog; its finished(int) result is handed back. Null
// when the wait was given up.
std::optional<int> RunForWorker(const std::function<QDialog*()>& open,
                                const TAbandonCheck& abandon)
{
  if (UiBridge::uiContext() == nullptr || UiBridge::shuttingDown())
    return std::nullopt;
  auto pending = std::make_shared<TPendingDialog>();
  UiBridge::postToUi([pending, open] {
    if (pending->Abandoned.load() || UiBridge::shuttingDown()) {
      {
        std::lock_guard lock(pending->Mutex);
        pending->Finished = true;
      }
      pending->Done.notify_all();
      return;
    }
    QDialog* dialog = open();
    if (dialog == nullptr) {
      {
        std::lock_guard lock(pending->Mutex);
        pending->Finished = true;
      }
      pending->Done.notify_all();
      return;
    }
    pending->Dialog = dialog;
    // Single-shot: the server path form is reused for every attempt.
    QObject::connect(
        dialog, &QDialog::finished, dialog,
        [pending](int result) {
          {
            std::lock_guard lock(pending->Mutex);
            pending->Result = result;
            pending->Finished = true;
          }
          pending->Done.notify_all();
        },
        Qt::SingleShotConnection);
    dialog->open();
  });

  std::unique_lock lock(pending->Mutex);
  while (!pending->Finished) {
    pending->Done.wait_for(lock, std::chrono::milliseconds(50));
    if (pending->Finished)
      break;
    lock.unlock();
    const bool giveUp = UiBridge::shuttingDown() || (abandon && abandon());
    lock.lock();
    if (giveUp && !pending->Finished) {
      pending->Abandoned.store(true);
      lock.unlock();
      UiBridge::postToUi([pending] {
        if (pending->Dialog)
          pending->Dialog->reject();
      });
      return std::nullopt;
    }
  }
  if (pending->Abandoned.load())
    return std::nullopt;
  return pending->Result;
}

}  // namespace

int TUiPrompts::MessageBox(const TBoxRequest& request, const TAbandonCheck& abandon)
{
  if (UiBridge::onUiThread()) {
    std::unique_ptr<QMessageBox> box(CreateBox(request, m_parent));
    return FromQtButton(box->exec());
  }
  const std::optional<int> result = RunForWorker(
      [this, request]() -> QDialog* {
        QMessageBox* box = CreateBox(request, m_parent);
        box->setAttribute(Qt::WA_DeleteOnClose);
        return box;
      },
      abandon);
  return result ? FromQtButton(*result) : BoxNone;
}

bool TUiPrompts::AskServerPath(QString& path, const TAbandonCheck& abandon)
{
  if (UiBridge::onUiThread()) {
    if (!m_pathForm)
      return false;
    m_pathForm->Reload();
    const bool ok = m_pathForm->exec() == QDialog::Accepted;
    path = m_pathForm->Path();
    return ok;
  }
  // The form is only read on the UI thread; the chosen path travels back
  // through this copy.
  auto chosen = std::make_shared<QString>();
  const std::optional<int> result = RunForWorker(
      [this, chosen]() -> QDialog* {
        TserverPathForm* form = m_pathForm;
        if (form == nullptr)
          return nullptr;
        form->Reload();
        QObject::connect(form, &QDialog::finished, form,
                         [form, chosen](int) { *chosen = form->Path(); },
                         Qt::SingleShotConnection);
        return form;
      },
      abandon);
  if (!result || *result != QDialog::Accepted)
    return false;
  path = *chosen;
  return true;
}
