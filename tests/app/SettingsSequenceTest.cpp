// The settings sequence and its connection-test page against the real
// lumivanta-server on 127.0.0.1.

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "dialogs/ConnectionTestDialog.h"
#include "dialogs/InformationDialog.h"
#include "dialogs/SettingsDialog.h"
#include "strings/StringTable.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/ViewHarness.h"
#include "web/WebRequest.h"

namespace lumivanta {
namespace {

void Click(QWidget* dialog, const char* button) { dialog->findChild<QPushButton*>(button)->click(); }

void SetContactName(QWidget* dialog, const QString& name) {
  dialog->findChild<QLineEdit*>("contactName")->setText(name);
}

}  // namespace

class SettingsSequenceTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    server_ = std::make_unique<test::ServerProcess>();
    harness_ = std::make_unique<test::ViewHarness>();
    harness_->PointAt(ServerUrl(), "old-name");
    harness_->View().AddLogLine("first", false);
  }
  void cleanup() {
    harness_.reset();
    server_.reset();
  }

  void aNewContactNameDeletesTheOldPicturesBackShowsItAndNextTestsTheConnection() {
    QVERIFY(Upload("old-name"));
    Settings().connected = true;
    test::ModalDriver driver;
    bool old_pictures_gone_before_test_page = false;
    QString shown_after_back;
    QString message;
    driver.Expect<CSettingsDialog>([](CSettingsDialog* page) {
      SetContactName(page, "entered");
      Click(page, "next");
    });
    driver.Expect<CConnectionTestDialog>([&](CConnectionTestDialog* page) {
      old_pictures_gone_before_test_page = !HasPicture("old-name");
      // Hotkeys have no effect while the sequence runs.
      harness_->Hotkeys().Press('S');
      Click(page, "back");
    });
    driver.Expect<CSettingsDialog>([&](CSettingsDialog* page) {
      shown_after_back = page->findChild<QLineEdit*>("contactName")->text();
      Click(page, "next");
    });
    driver.Expect<CConnectionTestDialog>([](CConnectionTestDialog* page) { Click(page, "next"); });
    driver.ExpectMessageBox(&message);
    View().Run().RunSettingsSequence();
    QVERIFY(driver.AllDone());
    QVERIFY(old_pictures_gone_before_test_page);
    QCOMPARE(shown_after_back, QString("entered"));
    QCOMPARE(Settings().contact_name, std::string("entered"));
    QCOMPARE(message, QString("Connection to Web-Server was tested successfully."));
    QVERIFY(Settings().connected);
    QVERIFY(!View().Run().IsSlideshowRunning());
    QVERIFY(View().Run().WhyHotkeyIsDropped().empty());
  }

  void anUnreachableServerKeepsTheTestPageOpen() {
    test::ModalDriver driver;
    QString first_message;
    QString second_message;
    driver.Expect<CSettingsDialog>([](CSettingsDialog* page) {
      page->findChild<QLineEdit*>("serverUrl")->setText(test::kRefusingServerUrl);
      Click(page, "next");
    });
    driver.Expect<CConnectionTestDialog>([](CConnectionTestDialog* page) { Click(page, "next"); });
    driver.ExpectMessageBox(&first_message);
    driver.Expect<CConnectionTestDialog>([](CConnectionTestDialog* page) { Click(page, "testConnection"); });
    driver.ExpectMessageBox(&second_message);
    driver.Expect<CConnectionTestDialog>([](CConnectionTestDialog* page) { Click(page, "cancel"); });
    View().Run().RunSettingsSequence();
    QVERIFY(driver.AllDone());
    const QString failed = "Connection to Web-Server failed.\nPlease check your program and firewall settings! ";
    QCOMPARE(first_message, failed);
    QCOMPARE(second_message, failed);
    QVERIFY(!Settings().connected);
  }

 private:
  std::string ServerUrl() const { return "http://127.0.0.1:" + std::to_string(server_->Port()) + "/"; }
  CvantacastView& View() { return harness_->View(); }
  CSettings& Settings() { return View().Run().Settings(); }

  bool Upload(const std::string& name) const {
    const std::string picture = "\xFF\xD8 picture of " + name;
    CWebRequest request;
    request.AddFormItem("thescreen", "image.jpg", true, picture.data(), static_cast<std::uint32_t>(picture.size()));
    return request.Request(ServerUrl() + "?server&stream_name=" + name, RequestPostMultipart, "");
  }
  bool HasPicture(const std::string& name) const {
    CWebRequest request;
    request.Request(ServerUrl() + "pictures/" + name + "/latest.jpg", RequestGet, "");
    return request.ResponseHeaders().starts_with("HTTP/1.1 200");
  }

  std::unique_ptr<test::ServerProcess> server_;
  std::unique_ptr<test::ViewHarness> harness_;
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::SettingsSequenceTest)
#include "SettingsSequenceTest.moc"
