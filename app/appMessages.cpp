#include "app/appMessages.h"

#include "app/uiBridge.h"

namespace AppMessages {
namespace {
// Only touched on the UI thread: workers reach it through sendToUi/postToUi,
// whose handlers run there.
IAppMessageSink* g_main = nullptr;

void Deliver(const TAppMessage& message)
{
  if (g_main != nullptr)
    g_main->AppMessage(message);
}
}  // namespace

void SetMainTarget(IAppMessageSink* sink)
{
  Q_ASSERT(UiBridge::onUiThread());
  g_main = sink;
}

bool SendToMain(const TAppMessage& message)
{
  bool delivered = false;
  UiBridge::sendToUi([&] {
    delivered = g_main != nullptr;
    Deliver(message);
  });
  return delivered;
}

void PostToMain(const TAppMessage& message)
{
  Q_ASSERT(message.Object == nullptr);
  UiBridge::postToUi([message] { Deliver(message); });
}

}  // namespace AppMessages
