#pragma once

// The desktop portal's ScreenCast conversation on the session bus: a session
// for one monitor, kept for the run, and the PipeWire remote that carries
// its stream. Each step is a request whose answer comes as a Response signal
// on a request object; the conversation runs on the user-interface thread.

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <cstdint>
#include <functional>
#include <string>

#include "base/UniqueFd.h"

namespace lumivanta {

class PortalScreenCast : public QObject {
  Q_OBJECT

 public:
  // The stream's PipeWire remote and node once the user (or a kept token) allowed the cast.
  using StartedHandler = std::function<void(UniqueFd remote, std::uint32_t node)>;
  // Why there is no cast, in a few words.
  using FailedHandler = std::function<void(const std::string& cause)>;
  // A new token to keep for the next run.
  using TokenHandler = std::function<void(const std::string& token)>;

  PortalScreenCast(StartedHandler started, FailedHandler failed, TokenHandler token);
  PortalScreenCast(const PortalScreenCast&) = delete;
  PortalScreenCast& operator=(const PortalScreenCast&) = delete;
  // Closes the portal's session, which ends the cast.
  ~PortalScreenCast() override;

  // Starts the conversation; a non-empty restore token asks the portal to
  // skip the consent. A token the portal refuses is dropped and the
  // conversation starts again without one.
  // cursor_mode is the portal's (1 hidden, 2 embedded in the frames, 4 as
  // metadata beside them), or 0 to leave it to the portal where it offers no
  // modes.
  void Begin(const std::string& restore_token, unsigned cursor_mode);

  // The portal's cursor modes (a bit per mode), 0 where it does not say.
  static unsigned AvailableCursorModes();

 private slots:
  void OnResponse(uint response, const QVariantMap& results);

 private:
  enum class Step { kIdle, kCreateSession, kSelectSources, kStart, kDone };

  // Sends a request of the ScreenCast interface and listens for its answer
  // on the request object that the portal will make for handle_token.
  void Request(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options);
  void StopListening();
  void CloseSession();
  void CreateSession();
  void SelectSources();
  void StartCast();
  void OpenRemote(std::uint32_t node);
  // Drops a restore token that the portal refused and starts again without
  // one, asking for a fresh consent; false when there was no token.
  bool RetryWithoutToken();
  void Fail(const std::string& cause);

  QDBusConnection bus_;
  StartedHandler started_;
  FailedHandler failed_;
  TokenHandler token_;
  std::string restore_token_;
  unsigned cursor_mode_ = 0;
  Step step_ = Step::kIdle;
  QString request_path_;
  QString session_handle_;
  unsigned next_token_ = 0;
};

}  // namespace lumivanta
