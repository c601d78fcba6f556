#pragma once

// The ways the program is ended from outside, and how each keeps the
// settings: SIGTERM, SIGINT and SIGHUP quit the event loops, so that the
// program ends the normal way (settings saved, delete request sent); an end
// through exit() that skips the normal way (Qt calls it when the X server
// goes away) still saves the settings.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace lumivanta {

class ExitSignals : public QObject {
  Q_OBJECT

 public:
  // Installs the handlers; one object at a time.
  ExitSignals();
  ExitSignals(const ExitSignals&) = delete;
  ExitSignals& operator=(const ExitSignals&) = delete;
  // Puts the default handlers back.
  ~ExitSignals() override;

  // Whether one of the signals came, also before an event loop ran.
  bool Received() const { return received_; }

 signals:
  // One of the signals came. Before the main event loop runs (the first-run
  // wizard), quitting alone would not end the dialogs.
  void ExitRequested();

 private:
  void OnSignal();

  QSocketNotifier* notifier_ = nullptr;
  bool received_ = false;
};

// Runs save when the process ends through exit() before DisarmSaveAtExit;
// the normal end disarms it, having saved itself.
void ArmSaveAtExit(std::function<void()> save);
void DisarmSaveAtExit();

}  // namespace lumivanta
