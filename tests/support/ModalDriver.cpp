#include "tests/support/ModalDriver.h"

#include <QApplication>
#include <QMessageBox>

namespace lumivanta::test {

ModalDriver::ModalDriver() {
  timer_.setInterval(kPollMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
  timer_.start();
}

void ModalDriver::ExpectMessageBox(QString* text) {
  Expect<QMessageBox>([text](QMessageBox* box) {
    if (text != nullptr) {
      *text = box->text();
    }
    box->accept();
  });
}

std::vector<std::string> ModalDriver::Problems() const {
  std::vector<std::string> problems = problems_;
  for (const std::string& name : names_) {
    problems.push_back("expected, never came: " + name);
  }
  return problems;
}

void ModalDriver::Poll() {
  QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || !modal->isVisible() || modal == pending_) {
    idle_ms_ = 0;
    return;
  }
  if (!steps_.empty() && steps_.front().matches(modal)) {
    std::function<void(QWidget*)> act = steps_.front().act;
    steps_.pop_front();
    names_.pop_front();
    pending_ = modal;
    QTimer::singleShot(0, modal, [this, act, modal] {
      pending_ = nullptr;
      act(modal);
    });
    idle_ms_ = 0;
    return;
  }
  idle_ms_ += kPollMs;
  if (steps_.empty() || idle_ms_ > kGiveUpMs) {
    problems_.push_back(std::string("unexpected dialog: ") + modal->metaObject()->className() + " \"" +
                        modal->windowTitle().toStdString() + "\"");
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->done(QDialog::Rejected);
    } else {
      modal->close();
    }
  }
}

}  // namespace lumivanta::test
