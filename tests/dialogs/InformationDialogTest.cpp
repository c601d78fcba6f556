#include "dialogs/InformationDialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <vector>

#include "tests/support/ModalDriver.h"

namespace lumivanta {

class InformationDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheMessageTheAddressTextAndTheHotkeys() {
    const std::vector<HotkeyListRow> rows = {{"CTRL+P", "Publish current screen"},
                                             {"CTRL+R", "Restore/show Lumivanta"}};
    CInformationDialog dialog("Picture sent.", "http://example.org/", "abc", rows);
    QCOMPARE(dialog.windowTitle(), QString("Lumivanta: Hinweis"));
    QVERIFY(dialog.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    QCOMPARE(dialog.MessageText(), QString("Picture sent."));
    QVERIFY(dialog.findChild<QLabel*>("message")->font().bold());
    QCOMPARE(dialog.AddressText().split('\n'),
             QStringList({"To view the pictures, call up the following web address", "and enter your contact name:", "",
                          "Web address:", "http://example.org/", "Contact name:", "abc"}));
    const QList<QStringList> shown = {{"CTRL+P", "Publish current screen"}, {"CTRL+R", "Restore/show Lumivanta"}};
    QCOMPARE(dialog.HotkeyRows(), shown);
    // The link needs no name typed; copied, it is on the clipboard.
    QCOMPARE(dialog.ViewerLinkText(), std::string("http://example.org/?name=abc"));
    dialog.findChild<QPushButton*>("copyViewerLink")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("http://example.org/?name=abc"));
    QVERIFY(!dialog.findChild<QPushButton*>("openViewer")->autoDefault());
  }

  void theViewerAddressIsReplacedBeforeTheContactName() {
    QVERIFY(ViewerAddressText("http://example.org/#1/", "abc").endsWith("http://example.org/abc/\nContact name:\nabc"));
    QVERIFY(ViewerAddressText("http://localhost:8080/", "").endsWith("Contact name:\n"));
  }

  void closesWithEnter() {
    CInformationDialog dialog("", "http://example.org/", "abc", {});
    test::ModalDriver driver;
    driver.Expect<CInformationDialog>([](CInformationDialog* shown) { QTest::keyClick(shown, Qt::Key_Return); });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(driver.AllDone());
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::InformationDialogTest)
#include "InformationDialogTest.moc"
