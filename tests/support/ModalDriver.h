#pragma once

// Answers modal dialogs in tests: each expected dialog is acted on as soon as
// it is the active modal window. A dialog that nobody expects, or a test that
// waits too long, closes every modal window so that no test is left waiting.

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace lumivanta::test {

class ModalDriver {
 public:
  static constexpr int kPollMs = 5;
  static constexpr int kGiveUpMs = 20000;

  ModalDriver();
  ModalDriver(const ModalDriver&) = delete;
  ModalDriver& operator=(const ModalDriver&) = delete;

  // Expects a modal dialog of type T next and runs action on it; the action
  // usually ends the dialog (for example by clicking one of its buttons).
  template <typename T>
  void Expect(std::function<void(T*)> action) {
    steps_.push_back({[](QWidget* modal) { return qobject_cast<T*>(modal) != nullptr; },
                      [action](QWidget* modal) { action(qobject_cast<T*>(modal)); }});
    names_.push_back(T::staticMetaObject.className());
  }

  // Expects a message box and answers it with OK, keeping its text.
  void ExpectMessageBox(QString* text = nullptr);

  bool AllDone() const { return steps_.empty(); }
  // What went wrong: dialogs that came unexpected, or were expected and never came.
  std::vector<std::string> Problems() const;

 private:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };

  // The action runs from the event loop, not from inside this timer's call,
  // so that dialogs it opens in turn are seen and answered too.
  void Poll();

  QTimer timer_;
  std::deque<Step> steps_;
  QPointer<QWidget> pending_;
  std::deque<std::string> names_;
  std::vector<std::string> problems_;
  int idle_ms_ = 0;
};

}  // namespace lumivanta::test
