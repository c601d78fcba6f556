#include <QScrollBar>
#include <QtTest>
#include <cstdlib>

#include "app/LogLine.h"
#include "strings/StringTable.h"
#include "tests/support/ViewHarness.h"

namespace lumivanta {
namespace {

// 8 December 2026, 06:30:05 UTC.
constexpr std::time_t kFixedTime = 1796711405;

}  // namespace

class ActivityLogTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
  }

  void theFirstLineRegistersTheHotkeysAndHasNoStampNorBreak() {
    test::ViewHarness harness;
    CvantacastView& view = harness.View();
    QVERIFY(harness.Hotkeys().calls.empty());
    view.SetClock([] { return kFixedTime; });
    view.AddLogLine("Welcome to Lumivanta!", false);
    QCOMPARE(harness.Hotkeys().calls.size(), std::size_t{6});
    QVERIFY(view.Run().HotkeysRegistered());

    view.LogMessage(ids::kSlideshowStarted, true);
    view.LogMessage(ids::kConnectionFailed, false);
    view.LogMessage(132, true);  // no such text: nothing at all
    view.AddLogLine({}, false);
    QCOMPARE(view.LogText(), std::string("Welcome to Lumivanta!\r\n08.12.2026 06:30:05 : Slideshow started.\r\n"
                                         "Connection to Web-Server failed.\r\n"
                                         "Please check your program and firewall settings! \r\n"));
    QCOMPARE(harness.Hotkeys().calls.size(), std::size_t{6});
    QCOMPARE(view.toPlainText(), QString::fromStdString(view.LogText()).replace("\r\n", "\n"));
  }

  void aLineThatRepeatsTheOneBeforeItIsFoldedIntoIt() {
    test::ViewHarness harness;
    CvantacastView& view = harness.View();
    std::time_t now = kFixedTime;
    view.SetClock([&now] { return now; });
    view.AddLogLine("Welcome to Lumivanta!", false);
    view.LogMessage(ids::kPictureSent, true);
    now += 1;  // the stamp of the first one stays
    view.LogMessage(ids::kPictureSent, true);
    view.LogMessage(ids::kPictureSent, false);
    view.LogMessage(ids::kConnectionFailed, true);
    view.LogMessage(ids::kPictureSent, true);
    QCOMPARE(view.LogText(), std::string("Welcome to Lumivanta!\r\n"
                                         "08.12.2026 06:30:05 : Picture sent. (repeated 3 times)\r\n"
                                         "08.12.2026 06:30:06 : Connection to Web-Server failed.\r\n"
                                         "Please check your program and firewall settings! \r\n"
                                         "08.12.2026 06:30:06 : Picture sent."));
    QCOMPARE(view.toPlainText(), QString::fromStdString(view.LogText()).replace("\r\n", "\n"));
  }

  void theStampUsesDayMonthYearAndTwoDigits() {
    QCOMPARE(MakeLogLine("x", true, false, 1803892025), std::string("\r\n01.03.2027 09:07:05 : x"));
    QCOMPARE(MakeLogLine("x", true, true, 1803892025), std::string("01.03.2027 09:07:05 : x"));
    // A time that local time cannot express gives the line without its stamp.
    QCOMPARE(MakeLogLine("x", true, false, std::numeric_limits<std::time_t>::max()), std::string("\r\nx"));
  }

  void theLogStopsAtItsLimit() {
    QCOMPARE(FitIntoLog("abc", kLogTextLimit - 2), std::string_view("ab"));
    QCOMPARE(FitIntoLog("abc", kLogTextLimit), std::string_view());
    test::ViewHarness harness;
    CvantacastView& view = harness.View();
    view.AddLogLine(std::string(kLogTextLimit - 10, 'x'), false);
    view.AddLogLine("0123456789ABCDEF", false);
    QCOMPARE(view.LogText().size(), kLogTextLimit);
    QVERIFY(view.LogText().ends_with("\r\n01234567"));
    view.AddLogLine("more", false);
    QCOMPARE(view.LogText().size(), kLogTextLimit);
  }

  void theLogIsADisplayOnly() {
    test::ViewHarness harness;
    CvantacastView& view = harness.View();
    QVERIFY(!view.isEnabled());
    QVERIFY(view.isReadOnly());
    QCOMPARE(view.focusPolicy(), Qt::NoFocus);
    QCOMPARE(view.verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(view.palette().color(QPalette::Disabled, QPalette::Base), QColor(255, 255, 200));
    QCOMPARE(view.font().pixelSize(), 13);
    for (int line = 0; line < 50; ++line) {
      view.AddLogLine("line " + std::to_string(line), false);
    }
    // It always shows its end.
    QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
  }

  void hotkeysAreReleasedWithTheWindowAndTheFailedDeleteIsLoggedWithoutRegisteringAgain() {
    test::ViewHarness harness;
    harness.View().AddLogLine("first", false);
    harness.EndRun();
    int registered = 0;
    int released = 0;
    for (const auto& call : harness.Hotkeys().calls) {
      (call.registering ? registered : released) += 1;
    }
    QCOMPARE(registered, 6);
    QCOMPARE(released, 6);
    QVERIFY(harness.Hotkeys().registered.empty());
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::ActivityLogTest)
#include "ActivityLogTest.moc"
