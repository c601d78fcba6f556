#include <QAction>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QtTest>
#include <filesystem>

#include "app/VantacastApp.h"
#include "dialogs/ConnectionTestDialog.h"
#include "dialogs/InformationDialog.h"
#include "dialogs/SettingsDialog.h"
#include "dialogs/WelcomeDialog.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/RunState.h"
#include "tests/support/ViewHarness.h"

namespace lumivanta {
namespace {

QStringList TextsOf(const QList<QAction*>& actions) {
  QStringList texts;
  for (const QAction* action : actions) {
    texts.append(action->isSeparator() ? QString("-") : action->text());
  }
  return texts;
}

void WriteConfiguration(const std::string& server_url, const std::string& contact_name) {
  CSettings settings;
  settings.server_url = server_url;
  settings.contact_name = contact_name;
  settings.Save();
}

// The fake hotkeys of an application under test, reachable after it took them over.
struct AppUnderTest {
  // The preferences go beside the configuration file, never to the user's.
  test::ScopedEnvironment config_home{"XDG_CONFIG_HOME", (std::filesystem::current_path() / "config").string()};
  AppUnderTest() {
    auto keys = std::make_unique<FakeGlobalHotkeys>();
    hotkeys = keys.get();
    app = std::make_unique<CvantacastApp>(std::move(keys), std::make_unique<FakeScreenSource>(64, 48));
  }
  FakeGlobalHotkeys* hotkeys = nullptr;
  std::unique_ptr<CvantacastApp> app;
};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void theFrameHasItsSizeCaptionMenuAndToolbar() {
    test::ViewHarness harness;
    CMainFrame& frame = harness.Frame();
    frame.SetDocumentTitle("Your computer screen live on the internet!");
    QCOMPARE(frame.windowTitle(), QString("Lumivanta - Your computer screen live on the internet!"));
    QCOMPARE(frame.size(), QSize(450, 150));
    QVERIFY(frame.findChild<QStatusBar*>() == nullptr);
    QCOMPARE(frame.centralWidget(), static_cast<QWidget*>(&harness.View()));

    const QList<QAction*> menus = frame.menuBar()->actions();
    QCOMPARE(TextsOf(menus), QStringList({"&File", "&Extras", "&Help"}));
    QCOMPARE(TextsOf(menus[0]->menu()->actions()),
             QStringList({"&Publish current screen\tCtrl+P", "-", "&Slideshow (send screen automatically)\tCtrl+S", "-",
                          "Delete pictures\tCtrl+D", "Exit"}));
    QCOMPARE(TextsOf(menus[1]->menu()->actions()),
             QStringList({"&Show mouse cursor\tCtrl+M", "&Options and settings\tCtrl+O", "-", "Global &hotkeys",
                          "Hold back &notifications while on air"}));
    // The items without a toolbar button have no picture; the others their button's.
    for (const QAction* item : menus[1]->menu()->actions()) {
      QCOMPARE(item->icon().isNull(),
               item->isSeparator() || item->text().startsWith("Global") || item->text().startsWith("Hold back"));
    }
    QCOMPARE(TextsOf(menus[2]->menu()->actions()), QStringList({"&About Lumivanta..."}));

    const QList<QAction*> buttons = frame.findChild<QToolBar*>("toolbar")->actions();
    QStringList tips;
    QStringList check_style;
    for (const QAction* button : buttons) {
      tips.append(button->isSeparator() ? QString("-") : button->toolTip());
      if (button->isCheckable()) {
        check_style.append(button->toolTip());
      }
    }
    QCOMPARE(tips, QStringList({"Send current screen content", "Start/stop slideshow (automatic screen transmission)",
                                "-", "Show mouse cursor", "-", "Delete published pictures", "-",
                                "Show and change settings", "-", "Exit", "-", "Info"}));
    QCOMPARE(check_style, QStringList({"Send current screen content",
                                       "Start/stop slideshow (automatic screen transmission)", "Show mouse cursor"}));
  }

  void theShowMouseCursorCommandTogglesItsMarksWithoutPublishing() {
    test::ViewHarness harness;
    QAction* cursor = harness.Frame().findChild<QAction*>("command32772");
    cursor->trigger();
    QVERIFY(test::ShowsPointer(harness.View().Run()));
    QVERIFY(cursor->isChecked());
    cursor->trigger();
    QVERIFY(!test::ShowsPointer(harness.View().Run()));
    QVERIFY(!cursor->isChecked());
    QCOMPARE(harness.Screen().grabs, 0);
  }

  void aCommandThatCannotRunLeavesTheMarksAsTheyWere() {
    test::ViewHarness harness;
    WriteConfiguration(test::kRefusingServerUrl, "marks");
    harness.View().StartUp();
    QTRY_VERIFY(!test::WaitingForServer(harness.View().Run()));  // the start-up test has ended
    QAction* slideshow = harness.Frame().findChild<QAction*>("command32771");
    QAction* publish = harness.Frame().findChild<QAction*>("command32775");
    QVERIFY(publish->isChecked());
    slideshow->trigger();  // the server refuses: the connection test fails
    QVERIFY(publish->isChecked());
    QVERIFY(!slideshow->isChecked());
    QVERIFY(test::InSinglePictureMode(harness.View().Run()));
    QVERIFY(harness.View().toPlainText().contains("Connection to Web-Server failed."));
  }

  void theSlideshowThroughTheMenuMinimisesReportsAndSetsTheMarksAndTimer() {
    test::LoopbackServer server(test::HttpResponse("200 OK", "connectok"));
    test::ViewHarness harness;
    harness.PointAt(server.Url("/"), "menu");
    harness.View().AddLogLine("first", false);
    harness.Frame().show();
    QAction* slideshow = harness.Frame().findChild<QAction*>("command32771");
    QAction* publish = harness.Frame().findChild<QAction*>("command32775");

    test::ModalDriver driver;
    QString address;
    int hotkey_rows = 0;
    driver.Expect<CInformationDialog>([&](CInformationDialog* dialog) {
      address = dialog->AddressText();
      hotkey_rows = static_cast<int>(dialog->HotkeyRows().size());
      dialog->accept();
    });
    slideshow->trigger();
    QVERIFY(driver.AllDone());
    QVERIFY(harness.Frame().isMinimized());
    QVERIFY(address.endsWith("Contact name:\nmenu"));
    QCOMPARE(hotkey_rows, 6);
    QVERIFY(slideshow->isChecked());
    QVERIFY(!publish->isChecked());
    QVERIFY(harness.View().Run().IsSlideshowRunning());
    QCOMPARE(harness.View().findChild<QTimer*>("slideshow-timer")->interval(), 1000);

    driver.Expect<CInformationDialog>([](CInformationDialog* dialog) { dialog->accept(); });
    driver.Expect<CInformationDialog>([](CInformationDialog* dialog) { dialog->accept(); });
    publish->trigger();
    QVERIFY(driver.AllDone());
    QVERIFY(publish->isChecked());
    QVERIFY(!slideshow->isChecked());
    QVERIFY(!harness.View().Run().IsSlideshowRunning());
    QCOMPARE(harness.Screen().grabs, 2);
  }

  void aFirstStartRunsTheWizardBeforeTheWindowAndTheNextTestsTheConnectionAside() {
    test::TempDir directory;
    test::ScopedCurrentDirectory in_directory(directory.Path());
    test::LoopbackServer server(test::HttpResponse("200 OK", "connectok"));
    {
      test::ModalDriver driver;
      bool window_hidden_during_wizard = false;
      AppUnderTest run;
      driver.Expect<CWelcomeDialog>([&](CWelcomeDialog* welcome) {
        window_hidden_during_wizard = run.app->MainWindow() != nullptr && !run.app->MainWindow()->isVisible();
        welcome->findChild<QPushButton*>("next")->click();
      });
      driver.Expect<CSettingsDialog>([](CSettingsDialog* settings) { settings->reject(); });
      QVERIFY(run.app->InitInstance());
      QVERIFY(driver.AllDone());
      QVERIFY(window_hidden_during_wizard);
      CvantacastView& view = run.app->MainWindow()->View();
      QCOMPARE(test::LogTextOf(view), std::string("Welcome to Lumivanta!"));
      QCOMPARE(view.Run().Settings().server_url, std::string("http://localhost:8080/"));

      // Exit, as from the menu: the settings are written, and the next start reads them without the wizard.
      view.Run().Settings().server_url = server.Url("/");
      view.Run().Settings().contact_name = "abc";
      view.Run().Settings().UpdateServerAddresses();
      run.app->MainWindow()->findChild<QAction*>("command57665")->trigger();
      QVERIFY(!run.app->MainWindow()->isVisible());
      run.app.reset();
      QVERIFY(std::filesystem::is_regular_file("lumivanta.lic"));
      CSettings saved;
      QVERIFY(saved.Load());
      QCOMPARE(saved.server_url, server.Url("/"));
      QCOMPARE(saved.refresh_rate_ms, 1000);
    }

    // The window shows at once; the connection test's line follows when the test ends.
    AppUnderTest run;
    QVERIFY(run.app->InitInstance());
    CMainFrame* frame = run.app->MainWindow();
    QVERIFY(frame->isVisible());
    const auto log = [frame] { return test::LogTextOf(frame->View()); };
    QCOMPARE(log(), std::string("Welcome to Lumivanta!"));
    QTRY_VERIFY(log().ends_with(" : Connection to Web-Server was tested successfully."));
    QVERIFY2(log().starts_with("Welcome to Lumivanta!\r\n"), log().c_str());
    QVERIFY(server.WaitForRequest(2).starts_with("GET /?server&stream_name=abc&fkt=end HTTP/1.0"));
    QVERIFY(frame->View().Run().Settings().connected);
    QCOMPARE(run.hotkeys->registered.size(), std::size_t{6});
    QVERIFY(frame->findChild<QAction*>("command32775")->isChecked());
    QVERIFY(!frame->findChild<QAction*>("command32771")->isChecked());
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::MainWindowTest)
#include "MainWindowTest.moc"
