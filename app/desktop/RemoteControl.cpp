#include "app/desktop/RemoteControl.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <string>

#include "app/run/CommandTable.h"
#include "app/run/PublishingRun.h"
#include "base/Report.h"

namespace lumivanta {

QString RemoteMethodName(const Command& command) {
  QString name = QString::fromLatin1(command.remote_name.data(), static_cast<qsizetype>(command.remote_name.size()));
  if (!name.isEmpty()) {
    name[0] = name[0].toUpper();
  }
  return name;
}

RemoteControl::RemoteControl(PublishingRun& run) : run_(run) {}

RemoteControl::~RemoteControl() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (service_registered_) {
    bus.unregisterService(kRemoteService);
  }
  if (object_registered_) {
    bus.unregisterObject(kRemoteObjectPath);
  }
}

bool RemoteControl::Offer() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    ReportLine("no session bus; commands from the command line cannot reach this Lumivanta");
    return false;
  }
  // The object comes first: a caller that finds the name finds the methods too.
  object_registered_ = bus.registerObject(kRemoteObjectPath, this, QDBusConnection::ExportScriptableSlots);
  if (!object_registered_) {
    ReportLine(std::string("cannot offer ") + kRemoteObjectPath +
               " on the session bus; commands from the command line cannot reach this Lumivanta");
    return false;
  }
  service_registered_ = bus.registerService(kRemoteService);
  if (!service_registered_) {
    bus.unregisterObject(kRemoteObjectPath);
    object_registered_ = false;
    ReportLine(std::string(kRemoteService) +
               " is taken on the session bus (another Lumivanta?); commands from the command line go there, not to "
               "this Lumivanta");
    return false;
  }
  return true;
}

void RemoteControl::Publish() { Run("publish"); }
void RemoteControl::Slideshow() { Run("slideshow"); }
void RemoteControl::Cursor() { Run("cursor"); }
void RemoteControl::Options() { Run("options"); }
void RemoteControl::Delete() { Run("delete"); }
void RemoteControl::Show() { Run("show"); }

void RemoteControl::Run(std::string_view remote_name) {
  const Command* command = CommandForRemoteName(remote_name);
  if (command == nullptr) {
    return;
  }
  if (const std::string_view why = run_.WhyHotkeyIsDropped(); !why.empty()) {
    if (calledFromDBus()) {
      sendErrorReply(kRemoteNotDoneError, QString::fromUtf8(why.data(), static_cast<qsizetype>(why.size())));
    }
    return;
  }
  // Decided: the answer goes out now, then the command runs right here, so
  // that nothing can come between them and drop it.
  if (calledFromDBus()) {
    setDelayedReply(true);
    connection().send(message().createReply());
  }
  run_.OnHotKey(command->hotkey_id);
}

}  // namespace lumivanta
