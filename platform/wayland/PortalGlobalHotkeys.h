#pragma once

// System-wide hotkeys on a Wayland desktop through the desktop portal's
// GlobalShortcuts: the keys are bound once as shortcuts with Control plus
// the key as the preferred trigger (the desktop may let the user choose
// another), and an activated shortcut runs its hotkey's handler. Where the
// portal offers no GlobalShortcuts the hotkeys are not available at all;
// where the desktop binds fewer than asked for they become unavailable then.

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <map>

#include "platform/GlobalHotkeys.h"

namespace lumivanta {

class PortalGlobalHotkeys : public QObject, public GlobalHotkeys {
  Q_OBJECT

 public:
  PortalGlobalHotkeys();
  PortalGlobalHotkeys(const PortalGlobalHotkeys&) = delete;
  PortalGlobalHotkeys& operator=(const PortalGlobalHotkeys&) = delete;
  ~PortalGlobalHotkeys() override;

  // Takes the key for the binding that follows once the caller's
  // registrations are done; false where the portal offers no GlobalShortcuts.
  bool Register(int id, char key) override;
  void Unregister(int id) override;
  bool Available() const override { return available_; }

 private slots:
  void OnResponse(uint response, const QVariantMap& results);
  void OnActivated(const QDBusObjectPath& session, const QString& shortcut, qulonglong timestamp,
                   const QVariantMap& options);

 private:
  enum class Step { kIdle, kCreateSession, kBind, kBound };

  void Request(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options);
  void StopListening();
  // The registered keys as the portal's list of shortcuts, a(sa{sv}).
  QVariant Shortcuts() const;
  void CreateSession();
  void Bind();
  void CheckBound(const QVariant& bound);
  // Says why in stderr and, the first time, tells the program that the hotkeys are not bound.
  void NotBound(const QString& failure);
  void Report(const QString& failure) const;

  QDBusConnection bus_;
  bool available_ = false;
  Step step_ = Step::kIdle;
  QString request_path_;
  QString session_handle_;
  unsigned next_token_ = 0;
  // The keys registered now, by hotkey id; a shortcut of another id does nothing.
  std::map<int, char> keys_;
};

}  // namespace lumivanta
