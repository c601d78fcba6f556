// The tray icon and the notifications beside the main window, on the
// offscreen platform: which notifications go out and when, the preference
// that turns them off, the icon's look, tooltip and menu. The notifier is a
// recording fake; the real one meets a real notification server in the
// end-to-end tests.

#include "app/desktop/DesktopPresence.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QtTest>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "app/MainFrame.h"
#include "app/VantacastView.h"
#include "res/Artwork.h"
#include "tests/support/RunState.h"
#include "tests/support/TempDir.h"
#include "tests/support/ViewHarness.h"

namespace lumivanta {
namespace {

using namespace std::chrono_literals;

constexpr auto kShortReminder = 150ms;
// Long enough for a reminder that should not come to have come.
constexpr int kQuietMs = 500;

struct RecordingNotifier : DesktopNotifier {
  void Notify(NoticeKind, std::string_view summary, std::string_view body) override {
    shown.push_back(std::string(summary) + " | " + std::string(body));
  }
  void Withdraw(NoticeKind kind) override { withdrawn += kind == NoticeKind::kStillOnAir ? 1 : 0; }
  std::vector<std::string> shown;
  int withdrawn = 0;
};

QStringList TextsOf(const QList<QAction*>& actions) {
  QStringList texts;
  for (const QAction* action : actions) {
    texts.append(action->isSeparator() ? QString("-")
                                       : action->text() + " " + action->shortcut().toString(QKeySequence::NativeText));
  }
  return texts;
}

const QSystemTrayIcon& TrayOf(const DesktopPresence& presence) { return *presence.findChild<QSystemTrayIcon*>(); }

// The look the tray icon shows: the tray picture ("idle", "on-air", "failing") that its smallest size is.
QString LookOf(const DesktopPresence& presence) {
  const QImage shown = TrayOf(presence).icon().pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
  for (const QString look : {"idle", "on-air", "failing"}) {
    // Through a pixmap, as the icon holds it.
    const QPixmap picture(ArtworkPath(("tray-" + look.toStdString() + "-16.png").c_str()));
    if (shown == picture.toImage().convertToFormat(QImage::Format_ARGB32)) {
      return look;
    }
  }
  return {};
}

}  // namespace

class DesktopPresenceTest : public QObject {
  Q_OBJECT

 private slots:
  void aRunOfFailuresAndItsRecoveryAreToldOnceEachAndASlideshowIsRemindedOnce() {
    test::ViewHarness harness;
    RecordingNotifier notifier;
    DesktopPresence presence(harness.Frame().View().Run(), notifier, kShortReminder);
    presence.OnUploadFailed("Upload failed: HTTP status 503 (h:1)", true);
    presence.OnUploadFailed("Upload failed: HTTP status 503 (h:1)", false);
    presence.OnUploadsWorkAgain();
    QCOMPARE(notifier.shown, (std::vector<std::string>{
                                 "Lumivanta: pictures do not reach the server | Upload failed: HTTP status 503 (h:1)",
                                 "Lumivanta: pictures reach the server again | Pictures are uploaded again."}));

    // A slideshow stopped before its time gives no reminder; one that runs on, one.
    presence.OnSlideshowStarted();
    presence.OnSlideshowStopped();
    QTest::qWait(kQuietMs);
    QCOMPARE(notifier.shown.size(), 2u);
    presence.OnSlideshowStarted();
    QTRY_COMPARE(notifier.shown.size(), 3u);
    QVERIFY(notifier.shown.back().starts_with("Lumivanta: your screen is still on the web | The slideshow has been"));
    QTest::qWait(kQuietMs);
    QCOMPARE(notifier.shown.size(), 3u);
    // Held back while on air, it would come too late after the stop: it is taken back.
    const int withdrawn = notifier.withdrawn;
    presence.OnSlideshowStopped();
    QCOMPARE(notifier.withdrawn, withdrawn + 1);
  }

  void notificationsOffInThePreferencesTellsNothing() {
    test::ViewHarness harness;
    std::filesystem::create_directories(harness.Directory().Path() / "config/lumivanta");
    test::WriteWholeFile(harness.Directory().File("config/lumivanta/preferences"), "notifications=off\n");
    CMainFrame frame(harness.Hotkeys(), &harness.Screen());  // reads the preferences
    QVERIFY(frame.OnCreate());
    RecordingNotifier notifier;
    DesktopPresence presence(frame.View().Run(), notifier, kShortReminder);
    presence.OnUploadFailed("Upload failed: x", true);
    presence.OnUploadsWorkAgain();
    presence.OnSlideshowStarted();
    QTest::qWait(kQuietMs);
    QVERIFY(notifier.shown.empty());
  }

  void theLookTooltipAndMenuFollowTheRun() {
    test::ViewHarness harness;
    RecordingNotifier notifier;
    DesktopPresence presence(harness.Frame().View().Run(), notifier);
    QCOMPARE(LookOf(presence), QString("idle"));
    QCOMPARE(TrayOf(presence).toolTip(),
             QString("Lumivanta: not on air\nContact name: harness\nNo successful upload yet"));
    presence.OnSlideshowStarted();
    presence.OnUploadSent();
    QCOMPARE(LookOf(presence), QString("on-air"));
    // The counts follow with the tooltip's refresh.
    QTRY_VERIFY_WITH_TIMEOUT(TrayOf(presence).toolTip().contains("Since the slideshow started: 1 sent, 0 failed"),
                             3000);
    // A refresh nearly due comes with a slideshow's picture, before its own time.
    presence.OnUploadSent();
    QTest::qWait(950);
    presence.OnPictureHandedOver(false);
    QVERIFY(TrayOf(presence).toolTip().contains("2 sent"));
    // Failing uploads show above the slideshow, until they work again.
    presence.OnUploadFailed("Upload failed: x", true);
    QCOMPARE(LookOf(presence), QString("failing"));
    presence.OnUploadsWorkAgain();
    QCOMPARE(LookOf(presence), QString("on-air"));
    presence.OnSlideshowStopped();
    QCOMPARE(LookOf(presence), QString("idle"));
    // A single picture is on air for a moment.
    presence.OnPictureHandedOver(true);
    QCOMPARE(LookOf(presence), QString("on-air"));
    QTRY_VERIFY_WITH_TIMEOUT(LookOf(presence) == "idle", 5000);

    QCOMPARE(TextsOf(TrayOf(presence).contextMenu()->actions()),
             QStringList({"Publish current screen Ctrl+P", "Start/stop slideshow Ctrl+S",
                          "Show/hide mouse cursor Ctrl+M", "Show options and settings Ctrl+O",
                          "Delete published pictures Ctrl+D", "Restore/show Lumivanta Ctrl+R", "-",
                          "&Copy viewer link ", "&Open viewer in browser ", "-", "Exit "}));
    TrayOf(presence).contextMenu()->findChild<QAction*>("tray-copy-viewer-link")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("http://127.0.0.1:1/?name=harness"));
    // An entry runs as the window's menu does: the pointer is turned on, and no picture is taken.
    TrayOf(presence).contextMenu()->findChild<QAction*>("tray-cursor")->trigger();
    QVERIFY(test::ShowsPointer(harness.View().Run()));
    QVERIFY(harness.Frame().findChild<QAction*>("command32772")->isChecked());
    QCOMPARE(harness.Screen().grabs, 0);
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::DesktopPresenceTest)
#include "DesktopPresenceTest.moc"
