#include <QScrollBar>
#include <QtTest>
#include <cstdlib>
#include <regex>
#include <string>

#include "app/LogLine.h"
#include "strings/StringTable.h"
#include "tests/support/ViewHarness.h"

namespace lumivanta {
namespace {

// A time stamp as the log writes it (the format itself is checked on MakeLogLine).
const std::string kStamp = "\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d : ";

bool Matches(const std::string& text, const std::string& pattern) {
  return std::regex_match(text, std::regex(pattern));
}

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
    view.AddLogLine("Welcome to Lumivanta!", false);
    QCOMPARE(harness.Hotkeys().calls.size(), std::size_t{6});
    QVERIFY(view.Run().HotkeysRegistered());

    view.LogMessage(ids::kSlideshowStarted, true);
    view.LogMessage(ids::kConnectionFailed, false);
    view.LogMessage(132, true);  // no such text: nothing at all
    view.AddLogLine({}, false);
    QVERIFY(Matches(test::LogTextOf(view), "Welcome to Lumivanta!\r\n" + kStamp +
                                               "Slideshow started\\.\r\n"
                                               "Connection to Web-Server failed\\.\r\n"
                                               "Please check your program and firewall settings! \r\n"));
    QCOMPARE(harness.Hotkeys().calls.size(), std::size_t{6});

    // A display only: typing into it changes nothing, and it always shows its end.
    QTest::keyClicks(&view, "typed");
    QVERIFY(!view.toPlainText().contains("typed"));
    for (int line = 0; line < 50; ++line) {
      view.AddLogLine("line " + std::to_string(line), false);
    }
    QCOMPARE(view.verticalScrollBar()->value(), view.verticalScrollBar()->maximum());
  }

  void aLineThatRepeatsTheOneBeforeItIsFoldedIntoIt() {
    test::ViewHarness harness;
    CvantacastView& view = harness.View();
    view.AddLogLine("Welcome to Lumivanta!", false);
    view.LogMessage(ids::kPictureSent, true);
    view.LogMessage(ids::kPictureSent, true);
    view.LogMessage(ids::kPictureSent, false);
    view.LogMessage(ids::kConnectionFailed, true);
    view.LogMessage(ids::kPictureSent, true);
    QVERIFY(Matches(test::LogTextOf(view), "Welcome to Lumivanta!\r\n" + kStamp +
                                               "Picture sent\\. \\(repeated 3 times\\)\r\n" + kStamp +
                                               "Connection to Web-Server failed\\.\r\n"
                                               "Please check your program and firewall settings! \r\n" +
                                               kStamp + "Picture sent\\."));
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
    QCOMPARE(test::LogTextOf(view).size(), kLogTextLimit);
    QVERIFY(test::LogTextOf(view).ends_with("\r\n01234567"));
    view.AddLogLine("more", false);
    QCOMPARE(test::LogTextOf(view).size(), kLogTextLimit);
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::ActivityLogTest)
#include "ActivityLogTest.moc"
