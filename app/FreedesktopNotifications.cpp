#include "app/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include "dialogs/QtText.h"

namespace lumivanta {
namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr unsigned char kNormalUrgency = 1;
// Let the server choose how long a message stays.
constexpr int kServerDefaultTimeout = -1;

}  // namespace

void FreedesktopNotifications::Notify(std::string_view summary, std::string_view body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  const QVariantMap hints{{"desktop-entry", QStringLiteral("lumivanta")},
                          {"urgency", QVariant::fromValue(kNormalUrgency)}};
  call << QStringLiteral("Lumivanta") << 0u << QStringLiteral("lumivanta") << FromText(summary) << FromText(body)
       << QStringList() << hints << kServerDefaultTimeout;
  // The answer (the message's number) is not needed.
  bus.send(call);
}

}  // namespace lumivanta
