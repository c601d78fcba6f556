#include "app/desktop/FreedesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>
#include <utility>

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

void FreedesktopNotifications::Notify(NoticeKind kind, std::string_view summary, std::string_view body) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return;
  }
  std::uint32_t& shown = shown_.at(static_cast<std::size_t>(kind));
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "Notify");
  const QVariantMap hints{{"desktop-entry", QStringLiteral("lumivanta")},
                          {"urgency", QVariant::fromValue(kNormalUrgency)}};
  call << QStringLiteral("Lumivanta") << shown << QStringLiteral("lumivanta") << FromText(summary) << FromText(body)
       << QStringList() << hints << kServerDefaultTimeout;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), &context_);
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_, [&shown](QDBusPendingCallWatcher* answer) {
    const QDBusPendingReply<std::uint32_t> reply = *answer;
    if (!reply.isError()) {
      shown = reply.value();
    }
    answer->deleteLater();
  });
}

void FreedesktopNotifications::Withdraw(NoticeKind kind) {
  const std::uint32_t shown = std::exchange(shown_.at(static_cast<std::size_t>(kind)), 0);
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (shown == 0 || !bus.isConnected()) {
    return;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, "CloseNotification");
  call << shown;
  bus.send(call);
}

}  // namespace lumivanta
