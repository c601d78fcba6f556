#include "app/desktop/RemoteCommand.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <string>

#include "app/desktop/RemoteControl.h"
#include "app/run/CommandTable.h"
#include "base/Report.h"

namespace lumivanta {
namespace {

// The instance answers from its event loop before it carries the command
// out, so a longer wait means it is stuck.
constexpr int kCallTimeoutMs = 5000;
constexpr int kExitNotDone = 3;

// The bus's answer for a name nobody holds, which Qt has no error type for.
constexpr const char* kNameHasNoOwner = "org.freedesktop.DBus.Error.NameHasNoOwner";

}  // namespace

int SendToRunningInstance(const Command& command) {
  const std::string option = "--" + std::string(command.remote_name);
  // Qt's type registry must outlive Qt's bus thread, which may still dispatch
  // a message from the bus while the process ends and warns when the registry
  // is gone. Made before the connection, the registry is destroyed after it.
  qRegisterMetaType<QDBusMessage>();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    ReportLine("no running Lumivanta to send " + option + " to");
    return 1;
  }
  QDBusMessage call =
      QDBusMessage::createMethodCall(kRemoteService, kRemoteObjectPath, kRemoteInterface, RemoteMethodName(command));
  // Only a running instance takes commands; the bus must not try to start one.
  call.setAutoStartService(false);
  const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
  if (reply.type() == QDBusMessage::ReplyMessage) {
    return 0;
  }
  const QDBusError error(reply);
  if (error.name() == kRemoteNotDoneError) {
    ReportLine("not done", error.message().toStdString());
    return kExitNotDone;
  }
  if (error.type() == QDBusError::ServiceUnknown || error.name() == kNameHasNoOwner) {
    ReportLine("no running Lumivanta to send " + option + " to");
  } else if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout ||
             error.type() == QDBusError::TimedOut) {
    ReportLine("the running Lumivanta did not answer " + option + " in time");
  } else {
    ReportLine(option + " did not reach the running Lumivanta", error.message().toStdString());
  }
  return 1;
}

}  // namespace lumivanta
