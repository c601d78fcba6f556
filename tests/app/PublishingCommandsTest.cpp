// The publishing commands and the slideshow's states, with a fake screen and
// a loopback server that answers every request with "connectok".

#include <QAction>
#include <QtTest>

#include "dialogs/InformationDialog.h"
#include "strings/StringTable.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ViewHarness.h"

namespace lumivanta {
namespace {

constexpr int kHotkeyMouseCursor = 3;

// Answers the next information dialog with OK and notes its message.
void ExpectInformation(test::ModalDriver& driver, QStringList* shown) {
  driver.Expect<CInformationDialog>([shown](CInformationDialog* dialog) {
    shown->append(dialog->MessageText());
    dialog->accept();
  });
}

}  // namespace

class PublishingCommandsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    server_ = std::make_unique<test::LoopbackServer>(test::HttpResponse("200 OK", "connectok"));
    harness_ = std::make_unique<test::ViewHarness>();
    harness_->PointAt(server_->Url("/"));
    View().AddLogLine("first", false);
    View().Settings().connected = true;
    View().RefreshMarks();
  }
  void cleanup() {
    harness_.reset();
    server_.reset();
  }

  void publishDuringASlideshowStopsItThenPublishes() {
    StartSlideshow();
    QVERIFY(!View().IsSinglePictureMode());
    QVERIFY(Action(32771)->isChecked());
    QVERIFY(!Action(32775)->isChecked());

    test::ModalDriver driver;
    QStringList shown;
    ExpectInformation(driver, &shown);
    ExpectInformation(driver, &shown);
    View().OnPublishScreen();
    QVERIFY(driver.AllDone());
    QCOMPARE(shown, QStringList({"Slideshow stopped.", "Picture sent."}));
    QVERIFY(View().IsSinglePictureMode());
    QCOMPARE(View().SlideshowTimerId(), 0);
    QVERIFY(Action(32775)->isChecked());
    QVERIFY(!Action(32771)->isChecked());
    QCOMPARE(harness_->Screen().grabs, 2);
  }

  void ctrlDDuringASlideshowStopsItThenDeletes() {
    StartSlideshow();
    test::ModalDriver driver;
    QStringList shown;
    ExpectInformation(driver, &shown);
    ExpectInformation(driver, &shown);
    harness_->Hotkeys().Press('D');
    QVERIFY(driver.AllDone());
    QCOMPARE(shown, QStringList({"Slideshow stopped.", "Pictures deleted successfully."}));
    QCOMPARE(View().SlideshowTimerId(), 0);
  }

  void ctrlMPublishesAtOnceOnlyInSinglePictureMode() {
    {
      test::ModalDriver driver;
      QStringList shown;
      ExpectInformation(driver, &shown);
      View().OnHotKey(kHotkeyMouseCursor);
      QVERIFY(driver.AllDone());
      QCOMPARE(shown, QStringList({"Picture sent."}));
    }
    QCOMPARE(View().ShowCursorFlag(), 1u);
    QVERIFY(Action(32772)->isChecked());
    QCOMPARE(harness_->Screen().grabs, 1);
    QVERIFY(!harness_->Frame().isMinimized());  // no clearing of the screen first

    StartSlideshow();
    const int grabs = harness_->Screen().grabs;
    test::ModalDriver driver;
    View().OnHotKey(kHotkeyMouseCursor);
    QCOMPARE(View().ShowCursorFlag(), 0u);
    QCOMPARE(harness_->Screen().grabs, grabs);
    QVERIFY(driver.Problems().empty());  // no dialog
  }

  void ticksCaptureNothingWhileADialogIsOpen() {
    StartSlideshow();
    const int grabs = harness_->Screen().grabs;
    test::ModalDriver driver;
    int grabs_during_dialog = -1;
    driver.Expect<CInformationDialog>([&](CInformationDialog* dialog) {
      View().OnTimer();
      grabs_during_dialog = harness_->Screen().grabs;
      dialog->accept();
    });
    View().ShowInformation(ids::kPicturesDeleted);
    QCOMPARE(grabs_during_dialog, grabs);
    View().OnTimer();
    QCOMPARE(harness_->Screen().grabs, grabs + 1);
    QVERIFY(!View().LogText().ends_with("Picture sent."));  // ticks are quiet
  }

  void aTickAfterTheConnectionWasLostTestsItFirst() {
    StartSlideshow();
    harness_->PointAt(test::kRefusingServerUrl);
    View().Settings().connected = false;
    const int grabs = harness_->Screen().grabs;
    View().OnTimer();
    QCOMPARE(harness_->Screen().grabs, grabs);
    QVERIFY(View().LogText().ends_with("Please check your program and firewall settings! "));
    QVERIFY(View().SlideshowTimerId() != 0);  // the slideshow goes on
  }

  void aFailedGrabStillReportsTheHandOverAndUploadsNothing() {
    harness_->Screen().fail = true;
    test::ModalDriver driver;
    QStringList shown;
    ExpectInformation(driver, &shown);
    View().OnPublishScreen();
    QVERIFY(driver.AllDone());
    QVERIFY(!View().Publisher().IsBusy());
    QCOMPARE(server_->Requests().size(), std::size_t{0});
  }

 private:
  CvantacastView& View() { return harness_->View(); }
  QAction* Action(unsigned command) {
    return harness_->Frame().findChild<QAction*>(QStringLiteral("command%1").arg(command));
  }
  void StartSlideshow() {
    test::ModalDriver driver;
    QStringList shown;
    ExpectInformation(driver, &shown);
    View().OnSlideshow();
    QVERIFY(driver.AllDone());
    QCOMPARE(View().SlideshowTimerId(), CvantacastView::kSlideshowTimerEventId);
  }

  std::unique_ptr<test::LoopbackServer> server_;
  std::unique_ptr<test::ViewHarness> harness_;
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::PublishingCommandsTest)
#include "PublishingCommandsTest.moc"
