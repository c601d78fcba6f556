#include "app/desktop/ProgramExit.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <utility>

namespace lumivanta {
namespace {

constexpr std::array kExitSignals = {SIGTERM, SIGINT, SIGHUP};

// The write end is used by the signal handler, which may do nothing but write.
int signal_pipe[2] = {-1, -1};

void WriteSignalByte(int) {
  const int saved_errno = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(signal_pipe[1], &byte, 1);
  errno = saved_errno;
}

std::function<void()>& SaveAtExit() {
  static std::function<void()> save;
  return save;
}

void RunSaveAtExit() {
  if (const std::function<void()> save = std::exchange(SaveAtExit(), nullptr)) {
    save();
  }
}

}  // namespace

ExitSignals::ExitSignals() {
  if (::pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;
  }
  notifier_ = new QSocketNotifier(signal_pipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ExitSignals::OnSignal);
  struct sigaction action {};
  action.sa_handler = WriteSignalByte;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int signal_number : kExitSignals) {
    sigaction(signal_number, &action, nullptr);
  }
}

ExitSignals::~ExitSignals() {
  for (const int signal_number : kExitSignals) {
    ::signal(signal_number, SIG_DFL);
  }
  if (notifier_ != nullptr) {
    notifier_->setEnabled(false);
  }
  for (int& fd : signal_pipe) {
    if (fd >= 0) {
      ::close(fd);
      fd = -1;
    }
  }
}

void ExitSignals::OnSignal() {
  char bytes[16];
  while (::read(signal_pipe[0], bytes, sizeof(bytes)) > 0) {
  }
  received_ = true;
  emit ExitRequested();
  QCoreApplication::quit();
}

void ArmSaveAtExit(std::function<void()> save) {
  static const bool registered = std::atexit(RunSaveAtExit) == 0;
  if (registered) {
    SaveAtExit() = std::move(save);
  }
}

void DisarmSaveAtExit() { SaveAtExit() = nullptr; }

}  // namespace lumivanta
