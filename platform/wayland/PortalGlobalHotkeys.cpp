#include "platform/wayland/PortalGlobalHotkeys.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QTimer>
#include <algorithm>

#include "base/Report.h"
#include "platform/wayland/PortalRequestPath.h"

namespace lumivanta {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kGlobalShortcuts = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
constexpr int kAvailabilityTimeoutMs = 3000;

// One shortcut as BindShortcuts takes it: (id, properties).
struct Shortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
  argument.beginStructure();
  argument << shortcut.id << shortcut.properties;
  argument.endStructure();
  return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
  argument.beginStructure();
  argument >> shortcut.id >> shortcut.properties;
  argument.endStructure();
  return argument;
}

QString ShortcutId(int id) { return QStringLiteral("hotkey%1").arg(id); }

}  // namespace
}  // namespace lumivanta

Q_DECLARE_METATYPE(lumivanta::Shortcut)

namespace lumivanta {

PortalGlobalHotkeys::PortalGlobalHotkeys() : bus_(QDBusConnection::sessionBus()) {
  qDBusRegisterMetaType<Shortcut>();
  qDBusRegisterMetaType<QList<Shortcut>>();
  if (!bus_.isConnected()) {
    return;
  }
  // The portal exports GlobalShortcuts only where a backend for this desktop offers it.
  QDBusMessage ask = QDBusMessage::createMethodCall(
      kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  ask.setArguments({kGlobalShortcuts, QStringLiteral("version")});
  const QDBusMessage answer = bus_.call(ask, QDBus::Block, kAvailabilityTimeoutMs);
  available_ = answer.type() == QDBusMessage::ReplyMessage;
  if (available_) {
    bus_.connect(kPortalService, kPortalPath, kGlobalShortcuts, QStringLiteral("Activated"), this,
                 SLOT(OnActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
  }
}

PortalGlobalHotkeys::~PortalGlobalHotkeys() {
  StopListening();
  if (!session_handle_.isEmpty() && bus_.isConnected()) {
    bus_.asyncCall(QDBusMessage::createMethodCall(kPortalService, session_handle_, kSession, QStringLiteral("Close")));
  }
}

bool PortalGlobalHotkeys::Register(int id, char key) {
  if (!available_) {
    return false;
  }
  keys_[id] = key;
  // The registrations of one start-up come in a row: they are bound together.
  if (step_ == Step::kIdle) {
    step_ = Step::kCreateSession;
    QTimer::singleShot(0, this, [this] { CreateSession(); });
  }
  return true;
}

void PortalGlobalHotkeys::Unregister(int id) { keys_.erase(id); }

void PortalGlobalHotkeys::Request(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options) {
  step_ = step;
  const QString handle_token = QStringLiteral("lumivantakeys%1").arg(++next_token_);
  options.insert(QStringLiteral("handle_token"), handle_token);
  arguments.append(options);
  request_path_ = PortalRequestPath(bus_, handle_token);
  bus_.connect(kPortalService, request_path_, kRequest, QStringLiteral("Response"), this,
               SLOT(OnResponse(uint, QVariantMap)));
  QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kGlobalShortcuts, method);
  call.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    if (finished->isError()) {
      StopListening();
      NotBound(QStringLiteral("%1 refused (%2)").arg(method, finished->error().message()));
    }
  });
}

void PortalGlobalHotkeys::StopListening() {
  if (!request_path_.isEmpty()) {
    bus_.disconnect(kPortalService, request_path_, kRequest, QStringLiteral("Response"), this,
                    SLOT(OnResponse(uint, QVariantMap)));
    request_path_.clear();
  }
}

// Some desktops (Plasma 5.27) register only the shortcuts that the session
// announced when it was made, so the same list goes to CreateSession and to
// BindShortcuts.
QVariant PortalGlobalHotkeys::Shortcuts() const {
  QList<Shortcut> shortcuts;
  for (const auto& [id, key] : keys_) {
    const QString letter = QString(QLatin1Char(key));
    shortcuts.append({ShortcutId(id),
                      {{QStringLiteral("description"), QStringLiteral("Lumivanta Ctrl+%1").arg(letter)},
                       {QStringLiteral("preferred_trigger"), QStringLiteral("CTRL+%1").arg(letter.toLower())}}});
  }
  return QVariant::fromValue(shortcuts);
}

void PortalGlobalHotkeys::CreateSession() {
  Request(Step::kCreateSession, QStringLiteral("CreateSession"), {},
          {{QStringLiteral("session_handle_token"), QStringLiteral("lumivantakeys")},
           {QStringLiteral("shortcuts"), Shortcuts()}});
}

void PortalGlobalHotkeys::Bind() {
  Request(Step::kBind, QStringLiteral("BindShortcuts"),
          {QVariant::fromValue(QDBusObjectPath(session_handle_)), Shortcuts(), QString()}, {});
}

void PortalGlobalHotkeys::OnResponse(uint response, const QVariantMap& results) {
  StopListening();
  if (response != 0) {
    NotBound(QStringLiteral("the desktop did not bind the global shortcuts (response %1)").arg(response));
    return;
  }
  if (step_ == Step::kCreateSession) {
    session_handle_ = results.value(QStringLiteral("session_handle")).toString();
    Bind();
  } else if (step_ == Step::kBind) {
    step_ = Step::kBound;
    CheckBound(results.value(QStringLiteral("shortcuts")));
  }
}

// A desktop may answer with fewer shortcuts than asked for, or none (Plasma
// when it cannot ask the user): the keys that are missing do nothing, so
// the hotkeys count as not bound.
void PortalGlobalHotkeys::CheckBound(const QVariant& bound) {
  QList<Shortcut> shortcuts;
  if (bound.canConvert<QDBusArgument>()) {
    bound.value<QDBusArgument>() >> shortcuts;
  }
  std::size_t missing = keys_.size();
  for (const auto& entry : keys_) {
    const QString wanted = ShortcutId(entry.first);
    missing -= std::any_of(shortcuts.begin(), shortcuts.end(),
                           [&wanted](const Shortcut& shortcut) { return shortcut.id == wanted; })
                   ? 1
                   : 0;
  }
  if (missing != 0) {
    NotBound(QStringLiteral("the desktop bound %1 of the %2 global shortcuts")
                 .arg(keys_.size() - missing)
                 .arg(keys_.size()));
  }
}

void PortalGlobalHotkeys::NotBound(const QString& failure) {
  Report(failure);
  if (available_) {
    available_ = false;
    ReportUnbound();
  }
}

void PortalGlobalHotkeys::OnActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong,
                                      const QVariantMap&) {
  if (session.path() != session_handle_) {
    return;
  }
  for (const auto& [id, key] : keys_) {
    if (ShortcutId(id) == shortcut) {
      Deliver(id);
      return;
    }
  }
}

void PortalGlobalHotkeys::Report(const QString& failure) const {
  ReportLine("global shortcuts", failure.toStdString());
}

}  // namespace lumivanta
