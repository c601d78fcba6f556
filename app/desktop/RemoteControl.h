#pragma once

// Remote control over the D-Bus session bus: the running program offers one
// method without arguments per command of the command table that has a
// command-line name ("publish": Publish), and runs it as that command's hotkey.

#include <QDBusContext>
#include <QObject>
#include <QString>
#include <string_view>

namespace lumivanta {

class PublishingRun;
struct Command;

inline constexpr const char* kRemoteService = "org.lumivanta.Lumivanta";
inline constexpr const char* kRemoteObjectPath = "/org/lumivanta/Lumivanta";
inline constexpr const char* kRemoteInterface = "org.lumivanta.Lumivanta";
// The error a method answers with when the command would be dropped; its
// message says why ("a dialog is open").
inline constexpr const char* kRemoteNotDoneError = "org.lumivanta.Lumivanta.Error.NotDone";

// The D-Bus method of a command: its command-line name with a capital first letter.
QString RemoteMethodName(const Command& command);

class RemoteControl : public QObject, protected QDBusContext {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.lumivanta.Lumivanta")

 public:
  // The run must outlive this object.
  explicit RemoteControl(PublishingRun& run);
  RemoteControl(const RemoteControl&) = delete;
  RemoteControl& operator=(const RemoteControl&) = delete;
  // Gives the service up, so that no command reaches a run that is ending.
  ~RemoteControl() override;

  // Offers the service on the session bus. Without a session bus, or with the
  // name held by another instance, it says so in one line on standard error
  // and returns false; the program runs on without remote control.
  bool Offer();

  // Each method decides at once whether the command runs: where the run would
  // drop it as a hotkey (a dialog or the wizard open, a request pending) the
  // caller gets kRemoteNotDoneError saying why; otherwise it gets its answer
  // and then the command runs, so that its dialogs keep nobody waiting.
 public slots:
  Q_SCRIPTABLE void Publish();
  Q_SCRIPTABLE void Slideshow();
  Q_SCRIPTABLE void Cursor();
  Q_SCRIPTABLE void Options();
  Q_SCRIPTABLE void Delete();
  Q_SCRIPTABLE void Show();

 private:
  void Run(std::string_view remote_name);

  PublishingRun& run_;
  bool object_registered_ = false;
  bool service_registered_ = false;
};

}  // namespace lumivanta
