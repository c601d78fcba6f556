#pragma once

// Where the desktop portal answers a request: an object path made from the
// caller's unique bus name and the request's handle token. Callers listen
// there before the call, so that no answer is missed.

#include <QDBusConnection>
#include <QString>

namespace lumivanta {

inline QString PortalRequestPath(const QDBusConnection& bus, const QString& handle_token) {
  QString sender = bus.baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, handle_token);
}

}  // namespace lumivanta
