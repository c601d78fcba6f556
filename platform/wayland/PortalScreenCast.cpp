#include "platform/wayland/PortalScreenCast.h"

#include <fcntl.h>

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <utility>

#include "platform/wayland/PortalRequestPath.h"

namespace lumivanta {
namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint kSourceMonitor = 1;
// The portal keeps the permission until the user revokes it.
constexpr uint kPersistUntilRevoked = 2;
constexpr uint kResponseSuccess = 0;
constexpr uint kResponseCancelled = 1;
constexpr int kPropertyTimeoutMs = 3000;

// The first stream's PipeWire node in the answer of Start: an array of
// (node, properties) that QtDBus leaves to be taken apart by hand.
bool FirstStreamNode(const QVariant& streams, std::uint32_t& node) {
  if (!streams.canConvert<QDBusArgument>()) {
    return false;
  }
  const auto argument = streams.value<QDBusArgument>();
  bool found = false;
  argument.beginArray();
  while (!argument.atEnd()) {
    uint stream_node = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> stream_node >> properties;
    argument.endStructure();
    if (!found) {
      node = stream_node;
      found = true;
    }
  }
  argument.endArray();
  return found;
}

}  // namespace

PortalScreenCast::PortalScreenCast(StartedHandler started, FailedHandler failed, TokenHandler token)
    : bus_(QDBusConnection::sessionBus()),
      started_(std::move(started)),
      failed_(std::move(failed)),
      token_(std::move(token)) {}

PortalScreenCast::~PortalScreenCast() {
  StopListening();
  CloseSession();
}

void PortalScreenCast::CloseSession() {
  if (!session_handle_.isEmpty() && bus_.isConnected()) {
    bus_.asyncCall(QDBusMessage::createMethodCall(kPortalService, session_handle_, kSession, QStringLiteral("Close")));
  }
  session_handle_.clear();
}

unsigned PortalScreenCast::AvailableCursorModes() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    return 0;
  }
  QDBusMessage ask = QDBusMessage::createMethodCall(
      kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  ask.setArguments({kScreenCast, QStringLiteral("AvailableCursorModes")});
  const QDBusMessage answer = bus.call(ask, QDBus::Block, kPropertyTimeoutMs);
  if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty()) {
    return 0;
  }
  return answer.arguments().first().value<QDBusVariant>().variant().toUInt();
}

void PortalScreenCast::Begin(const std::string& restore_token, unsigned cursor_mode) {
  restore_token_ = restore_token;
  cursor_mode_ = cursor_mode;
  if (!bus_.isConnected()) {
    Fail("no D-Bus session bus for the desktop portal");
    return;
  }
  CreateSession();
}

void PortalScreenCast::Request(Step step, const QString& method, QList<QVariant> arguments, QVariantMap options) {
  step_ = step;
  const QString handle_token = QStringLiteral("lumivanta%1").arg(++next_token_);
  options.insert(QStringLiteral("handle_token"), handle_token);
  arguments.append(options);
  request_path_ = PortalRequestPath(bus_, handle_token);
  bus_.connect(kPortalService, request_path_, kRequest, QStringLiteral("Response"), this,
               SLOT(OnResponse(uint, QVariantMap)));
  QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kScreenCast, method);
  call.setArguments(arguments);
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    if (finished->isError()) {
      // A kept token can be refused outright (one that is no token at all).
      if (RetryWithoutToken()) {
        return;
      }
      Fail(QStringLiteral("the desktop portal refused %1 (%2)")
               .arg(method,
                    finished->error().message().isEmpty() ? finished->error().name() : finished->error().message())
               .toStdString());
    }
  });
}

void PortalScreenCast::StopListening() {
  if (!request_path_.isEmpty()) {
    bus_.disconnect(kPortalService, request_path_, kRequest, QStringLiteral("Response"), this,
                    SLOT(OnResponse(uint, QVariantMap)));
    request_path_.clear();
  }
}

void PortalScreenCast::CreateSession() {
  // A new name for each session: the portal can abort when a new session takes
  // the name of one it is still closing.
  Request(Step::kCreateSession, QStringLiteral("CreateSession"), {},
          {{QStringLiteral("session_handle_token"), QStringLiteral("lumivanta%1").arg(++next_token_)}});
}

void PortalScreenCast::SelectSources() {
  QVariantMap options{{QStringLiteral("types"), kSourceMonitor},
                      {QStringLiteral("multiple"), false},
                      {QStringLiteral("persist_mode"), kPersistUntilRevoked}};
  if (cursor_mode_ != 0) {
    options.insert(QStringLiteral("cursor_mode"), cursor_mode_);
  }
  if (!restore_token_.empty()) {
    options.insert(QStringLiteral("restore_token"), QString::fromStdString(restore_token_));
  }
  Request(Step::kSelectSources, QStringLiteral("SelectSources"),
          {QVariant::fromValue(QDBusObjectPath(session_handle_))}, options);
}

void PortalScreenCast::StartCast() {
  Request(Step::kStart, QStringLiteral("Start"), {QVariant::fromValue(QDBusObjectPath(session_handle_)), QString()},
          {});
}

void PortalScreenCast::OnResponse(uint response, const QVariantMap& results) {
  StopListening();
  if (response != kResponseSuccess) {
    // A kept token that no longer works ends in a refusal: once more with a fresh consent.
    if (response != kResponseCancelled && RetryWithoutToken()) {
      return;
    }
    Fail(response == kResponseCancelled ? "the screen cast was not allowed"
                                        : "the desktop portal ended the screen cast");
    return;
  }
  switch (step_) {
    case Step::kCreateSession:
      session_handle_ = results.value(QStringLiteral("session_handle")).toString();
      if (session_handle_.isEmpty()) {
        Fail("the desktop portal gave no screen cast session");
        return;
      }
      SelectSources();
      break;
    case Step::kSelectSources:
      StartCast();
      break;
    case Step::kStart: {
      std::uint32_t node = 0;
      if (!FirstStreamNode(results.value(QStringLiteral("streams")), node)) {
        Fail("the desktop portal gave no stream");
        return;
      }
      if (const QString token = results.value(QStringLiteral("restore_token")).toString(); !token.isEmpty()) {
        token_(token.toStdString());
      }
      OpenRemote(node);
      break;
    }
    case Step::kIdle:
    case Step::kDone:
      break;
  }
}

void PortalScreenCast::OpenRemote(std::uint32_t node) {
  step_ = Step::kDone;
  QDBusMessage call =
      QDBusMessage::createMethodCall(kPortalService, kPortalPath, kScreenCast, QStringLiteral("OpenPipeWireRemote"));
  call.setArguments({QVariant::fromValue(QDBusObjectPath(session_handle_)), QVariantMap()});
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, node](QDBusPendingCallWatcher* finished) {
    finished->deleteLater();
    const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *finished;
    if (reply.isError() || !reply.value().isValid()) {
      Fail("the desktop portal gave no PipeWire connection");
      return;
    }
    // The reply's descriptor closes with the reply; the stream gets its own copy.
    UniqueFd remote(::fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3));
    if (!remote.IsValid()) {
      Fail("cannot take the PipeWire connection");
      return;
    }
    started_(std::move(remote), node);
  });
}

bool PortalScreenCast::RetryWithoutToken() {
  if (restore_token_.empty()) {
    return false;
  }
  restore_token_.clear();
  token_(std::string());
  StopListening();
  CloseSession();
  CreateSession();
  return true;
}

void PortalScreenCast::Fail(const std::string& cause) {
  StopListening();
  step_ = Step::kDone;
  failed_(cause);
}

}  // namespace lumivanta
