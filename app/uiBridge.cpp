#include "app/uiBridge.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <atomic>

namespace UiBridge {
namespace {
std::atomic<bool> g_shuttingDown{false};
// Written once by install() on the UI thread before any worker starts.
std::atomic<QObject*> g_context{nullptr};
}  // namespace

void beginShutdown() { g_shuttingDown.store(true, std::memory_order_release); }

void resetShutdownForTesting() { g_shuttingDown.store(false, std::memory_order_release); }

bool shuttingDown() { return g_shuttingDown.load(std::memory_order_acquire); }

void install()
{
  if (g_context.load() != nullptr || QCoreApplication::instance() == nullptr)
    return;
  // Parented to the application so it dies with it and never outlives the UI thread.
  auto* context = new QObject(QCoreApplication::instance());
  context->setObjectName(QStringLiteral("UiBridgeContext"));
  g_context.store(context, std::memory_order_release);
}

QObject* uiContext() { return g_context.load(std::memory_order_acquire); }

bool onUiThread()
{
  const QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() == app->thread();
}

bool sendToUi(const std::function<void()>& fn)
{
  if (onUiThread()) {
    fn();
    return true;
  }
  QObject* context = uiContext();
  if (context == nullptr || shuttingDown())
    return false;
  bool ran = false;
  // The UI thread keeps serving queued calls while it joins workers (it pumps
  // events instead of a bare wait), so a call queued just before shutdown
  // still completes; the handler is skipped once shutdown has begun.
  QMetaObject::invokeMethod(
      context,
      [&] {
        if (!shuttingDown()) {
          fn();
          ran = true;
        }
      },
      Qt::BlockingQueuedConnection);
  return ran;
}

void postToUi(std::function<void()> fn)
{
  if (QObject* context = uiContext())
    QMetaObject::invokeMethod(context, std::move(fn), Qt::QueuedConnection);
}

}  // namespace UiBridge
