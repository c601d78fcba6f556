#include <QLabel>
#include <QtTest>

#include "dialogs/InformationDialog.h"
#include "strings/StringTable.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ViewHarness.h"

namespace lumivanta {

class InformationDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void showsTheMessageTheAddressTextAndTheHotkeys() {
    test::ViewHarness harness;
    CvantacastView& view = harness.View();
    harness.PointAt("http://example.org/", "abc");
    view.AddLogLine("first", false);

    test::ModalDriver driver;
    bool flag_set_while_open = false;
    driver.Expect<CInformationDialog>([&](CInformationDialog* dialog) {
      flag_set_while_open = view.IsDialogOpen();
      QCOMPARE(dialog->windowTitle(), QString("Lumivanta: Hinweis"));
      QVERIFY(dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
      QCOMPARE(dialog->MessageText(), QString("Picture sent."));
      QVERIFY(dialog->findChild<QLabel*>("message")->font().bold());
      QCOMPARE(dialog->AddressText().split('\n'),
               QStringList({"To view the pictures, call up the following web address", "and enter your contact name:",
                            "", "Web address:", "http://example.org/", "Contact name:", "abc"}));
      const QList<QStringList> rows = {{"CTRL+P", "Publish current screen"},    {"CTRL+S", "Start/stop slideshow"},
                                       {"CTRL+M", "Show/hide mouse cursor"},    {"CTRL+O", "Show options and settings"},
                                       {"CTRL+D", "Delete published pictures"}, {"CTRL+R", "Restore/show Lumivanta"}};
      QCOMPARE(dialog->HotkeyRows(), rows);
      // Hotkeys pressed now are dropped, also after the dialog closes.
      harness.Hotkeys().Press('S');
      harness.Hotkeys().Press('M');
      dialog->accept();
    });
    view.ShowInformation(ids::kPictureSent);
    QVERIFY(driver.AllDone());
    QVERIFY(flag_set_while_open);
    QVERIFY(!view.IsDialogOpen());
    QCOMPARE(view.SlideshowTimerId(), 0);
    QCOMPARE(view.ShowCursorFlag(), 0u);
  }

  void theViewerAddressIsReplacedBeforeTheContactName() {
    QVERIFY(ViewerAddressText("http://example.org/#1/", "abc").endsWith("http://example.org/abc/\nContact name:\nabc"));
    QVERIFY(ViewerAddressText("http://localhost:8080/", "").endsWith("Contact name:\n"));
  }

  void aMessageWithoutTextGivesAnEmptyCaption() {
    test::ViewHarness harness;
    test::ModalDriver driver;
    driver.Expect<CInformationDialog>([](CInformationDialog* dialog) {
      QCOMPARE(dialog->MessageText(), QString());
      dialog->reject();
    });
    harness.View().ShowInformation(132);
    QVERIFY(driver.AllDone());
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::InformationDialogTest)
#include "InformationDialogTest.moc"
