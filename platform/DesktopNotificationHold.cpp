#include "platform/DesktopNotificationHold.h"

#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStringList>
#include <QVariantMap>
#include <array>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/StateFiles.h"

namespace lumivanta {
namespace {

using Way = DesktopNotificationHold::Way;

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kNotifications = "org.freedesktop.Notifications";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kDunst = "org.dunstproject.cmd0";
constexpr const char* kMakoQuietMode = "do-not-disturb";
constexpr const char* kGnomeSchema = "org.gnome.desktop.notifications";
constexpr int kBusTimeoutMs = 1000;
constexpr int kToolTimeoutMs = 2000;

constexpr std::array<std::pair<Way, std::string_view>, 4> kWayNames{{
    {Way::kDunstPause, "dunst-pause"},
    {Way::kInhibit, "inhibit"},
    {Way::kMakoMode, "mako-mode"},
    {Way::kGnomeBanners, "gnome-banners"},
}};

// A call to the notification server that never starts one: where none runs
// there is nothing to hold back.
QDBusMessage AskServer(const char* interface, const char* method, const QVariantList& arguments) {
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, interface, method);
  call.setArguments(arguments);
  call.setAutoStartService(false);
  return QDBusConnection::sessionBus().call(call, QDBus::Block, kBusTimeoutMs);
}

bool Answered(const QDBusMessage& reply) { return reply.type() == QDBusMessage::ReplyMessage; }

// Runs a tool of the desktop: what it printed, or nothing when it cannot run or fails.
std::optional<QString> RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(kToolTimeoutMs)) {
    process.kill();
    process.waitForFinished(kToolTimeoutMs);
    return std::nullopt;
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
    return std::nullopt;
  }
  return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

std::optional<bool> DunstPaused() {
  const QDBusMessage reply = AskServer(kProperties, "Get", {QString(kDunst), QStringLiteral("paused")});
  if (!Answered(reply) || reply.arguments().size() != 1) {
    return std::nullopt;
  }
  const QVariant value = qvariant_cast<QDBusVariant>(reply.arguments().front()).variant();
  return value.typeId() == QMetaType::Bool ? std::optional<bool>(value.toBool()) : std::nullopt;
}

std::optional<bool> MakoQuiet() {
  const std::optional<QString> modes = RunTool(QStringLiteral("makoctl"), {QStringLiteral("mode")});
  return modes ? std::optional<bool>(modes->split('\n').contains(QString(kMakoQuietMode))) : std::nullopt;
}

std::optional<bool> GnomeBannersShown() {
  const std::optional<QString> shown =
      RunTool(QStringLiteral("gsettings"), {QStringLiteral("get"), kGnomeSchema, QStringLiteral("show-banners")});
  if (shown == QStringLiteral("true") || shown == QStringLiteral("false")) {
    return shown == QStringLiteral("true");
  }
  return std::nullopt;
}

// Whether the way holds the pop-ups back now; nothing where this desktop does not offer it.
std::optional<bool> HeldBy(Way way) {
  switch (way) {
    case Way::kDunstPause:
      return DunstPaused();
    case Way::kMakoMode:
      return MakoQuiet();
    case Way::kGnomeBanners:
      if (const std::optional<bool> shown = GnomeBannersShown()) {
        return !*shown;
      }
      return std::nullopt;
    case Way::kInhibit:
      break;
  }
  return std::nullopt;
}

bool SetHeldBy(Way way, bool held) {
  switch (way) {
    case Way::kDunstPause:
      return Answered(AskServer(kProperties, "Set",
                                {QString(kDunst), QStringLiteral("paused"), QVariant::fromValue(QDBusVariant(held))}));
    case Way::kMakoMode:
      return RunTool(QStringLiteral("makoctl"),
                     {QStringLiteral("mode"), held ? QStringLiteral("-a") : QStringLiteral("-r"), kMakoQuietMode})
          .has_value();
    case Way::kGnomeBanners:
      return RunTool(QStringLiteral("gsettings"), {QStringLiteral("set"), kGnomeSchema, QStringLiteral("show-banners"),
                                                   held ? QStringLiteral("false") : QStringLiteral("true")})
          .has_value();
    case Way::kInhibit:
      break;
  }
  return false;
}

std::optional<std::uint32_t> Inhibit() {
  const QDBusMessage reply =
      AskServer(kNotifications, "Inhibit",
                {QStringLiteral("lumivanta"), QStringLiteral("The screen is on the web"), QVariantMap()});
  if (!Answered(reply) || reply.arguments().size() != 1 || reply.arguments().front().typeId() != QMetaType::UInt) {
    return std::nullopt;
  }
  return reply.arguments().front().toUInt();
}

QString ServerName() {
  const QDBusMessage reply = AskServer(kNotifications, "GetServerInformation", {});
  return Answered(reply) && !reply.arguments().isEmpty() ? reply.arguments().front().toString() : QString();
}

// The command name of a running process; empty when there is none with this PID.
std::string ProcessName(const std::string& pid) {
  std::ifstream comm("/proc/" + pid + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// dunst's pause and mako's mode end with their server: a release that fails
// finds nothing left to release. GNOME's setting stays: it is tried again.
bool OutlivesItsServer(Way way) { return way == Way::kGnomeBanners; }

}  // namespace

DesktopNotificationHold::DesktopNotificationHold(std::filesystem::path record) : record_(std::move(record)) {}

DesktopNotificationHold::DesktopNotificationHold() : DesktopNotificationHold(StateFile("notification-hold")) {}

DesktopNotificationHold::~DesktopNotificationHold() { Release(); }

NotificationHold::Result DesktopNotificationHold::Hold() {
  if (holding_) {
    return Result::kAlreadyHeld;
  }
  // dunst answers for its pause; other servers offer Inhibit, or are known by their name.
  std::optional<Way> way;
  std::optional<bool> held = HeldBy(Way::kDunstPause);
  if (held) {
    way = Way::kDunstPause;
  } else if (const std::optional<std::uint32_t> inhibition = Inhibit()) {
    holding_ = true;
    changed_ = Way::kInhibit;
    inhibition_ = *inhibition;
    return Result::kTaken;
  } else if (const QString server = ServerName(); server == QStringLiteral("mako")) {
    way = Way::kMakoMode;
  } else if (server == QStringLiteral("gnome-shell")) {
    way = Way::kGnomeBanners;
  }
  if (way && !held) {
    held = HeldBy(*way);
  }
  if (!held) {
    return Result::kUnavailable;
  }
  holding_ = true;
  if (*held) {
    return Result::kAlreadyHeld;  // by the user: left as it is
  }
  // Written down first, so that a crash right after the change still finds it.
  Note(*way);
  if (!SetHeldBy(*way, true)) {
    EraseNote();
    holding_ = false;
    return Result::kUnavailable;
  }
  changed_ = way;
  return Result::kTaken;
}

void DesktopNotificationHold::Release() {
  if (!holding_) {
    return;
  }
  holding_ = false;
  const std::optional<Way> changed = std::exchange(changed_, std::nullopt);
  if (!changed) {
    return;
  }
  if (*changed == Way::kInhibit) {
    AskServer(kNotifications, "UnInhibit", {QVariant::fromValue(inhibition_)});
    return;
  }
  if (SetHeldBy(*changed, false) || !OutlivesItsServer(*changed)) {
    EraseNote();
  }
}

void DesktopNotificationHold::ReleaseLeftover() {
  if (holding_ || record_.empty()) {
    return;
  }
  std::ifstream in(record_);
  std::string name;
  std::string pid;
  if (!(in >> name >> pid)) {
    in.close();
    EraseNote();
    return;
  }
  if (pid != std::to_string(::getpid()) && ProcessName(pid) == ProcessName("self")) {
    return;  // the run that holds it goes on
  }
  for (const auto& [way, way_name] : kWayNames) {
    if (way_name == name && way != Way::kInhibit) {
      if (!SetHeldBy(way, false) && OutlivesItsServer(way)) {
        return;
      }
    }
  }
  EraseNote();
}

bool DesktopNotificationHold::Note(Way way) const {
  for (const auto& [noted, name] : kWayNames) {
    if (noted == way) {
      return WriteStateFile(record_, std::string(name) + " " + std::to_string(::getpid()) + "\n");
    }
  }
  return false;
}

void DesktopNotificationHold::EraseNote() const {
  std::error_code error;
  std::filesystem::remove(record_, error);
}

}  // namespace lumivanta
