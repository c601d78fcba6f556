#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "base/LocalTime.h"
#include "dialogs/FilteredEdit.h"
#include "dialogs/SettingsDialog.h"

namespace lumivanta {
namespace {

template <typename T>
T* Control(QDialog& dialog, const char* name) {
  T* control = dialog.findChild<T*>(name);
  if (control == nullptr) {
    qFatal("no control named %s", name);
  }
  return control;
}

void SetText(QDialog& dialog, const char* name, const QString& text) {
  Control<QLineEdit>(dialog, name)->setText(text);
}

QString TextOf(QDialog& dialog, const char* name) { return Control<QLineEdit>(dialog, name)->text(); }

int SelectionOf(QDialog& dialog, const char* name) { return Control<QComboBox>(dialog, name)->currentIndex(); }

}  // namespace

class SettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithTheLiveValues() {
    CSettings live;
    live.server_url = "http://example.org/up/";
    live.contact_name = "abc";
    live.picture_quality = 2;
    live.picture_size = 768;
    live.refresh_rate_ms = 2500;
    CSettingsDialog dialog(live);
    QCOMPARE(dialog.windowTitle(), QString("Lumivanta: New Connection Wizard"));
    QCOMPARE(TextOf(dialog, "serverUrl"), QString("http://example.org/up/"));
    QCOMPARE(TextOf(dialog, "contactName"), QString("abc"));
    QCOMPARE(TextOf(dialog, "refreshRate"), QString("2500"));
    QCOMPARE(SelectionOf(dialog, "pictureQuality"), 2);
    QCOMPARE(SelectionOf(dialog, "pictureSize"), 3);
    QCOMPARE(Control<QComboBox>(dialog, "pictureQuality")->itemText(0),
             QString::fromUtf8("Compressed: für normale Internet-Verbindungen"));
    const QStringList sizes = {"Original size", "(400)x300 pixel", "(800)x600 pixel", "(1024)x768 pixel"};
    for (int index = 0; index < sizes.size(); ++index) {
      QCOMPARE(Control<QComboBox>(dialog, "pictureSize")->itemText(index), sizes[index]);
    }
    QVERIFY(Control<QLineEdit>(dialog, "contactName")->toolTip().contains("Allowed characters"));
    QVERIFY(Control<QPushButton>(dialog, "next")->isDefault());
  }

  void valuesOutsideTheListsLeaveThemWithoutSelection() {
    CSettings live;
    live.picture_quality = 3;
    live.picture_size = 500;
    CSettingsDialog dialog(live);
    QCOMPARE(SelectionOf(dialog, "pictureQuality"), -1);
    QCOMPARE(SelectionOf(dialog, "pictureSize"), -1);
    Control<QPushButton>(dialog, "next")->click();
    QCOMPARE(dialog.result(), int{kDialogNext});
    QCOMPARE(live.picture_quality, 4294967295u);  // the list without selection
    QCOMPARE(live.picture_size, 500u);
  }

  void nextWritesTheControlsAndRaisesTheRefreshRateTo500() {
    CSettings live;
    CSettingsDialog dialog(live);
    SetText(dialog, "serverUrl", "http://other.example/");
    SetText(dialog, "contactName", "new-name");
    Control<QComboBox>(dialog, "pictureQuality")->setCurrentIndex(1);
    Control<QComboBox>(dialog, "pictureSize")->setCurrentIndex(0);
    for (const auto& [typed, stored] : {std::pair{"20", 500}, std::pair{"", 500}, std::pair{"600", 600}}) {
      SetText(dialog, "refreshRate", typed);
      dialog.ApplyControls();
      QCOMPARE(live.refresh_rate_ms, stored);
    }
    Control<QPushButton>(dialog, "next")->click();
    QCOMPARE(live.server_url, std::string("http://other.example/"));
    QCOMPARE(live.contact_name, std::string("new-name"));
    QCOMPARE(live.picture_quality, 1u);
    QCOMPARE(live.picture_size, 0u);
    QCOMPARE(live.upload_address, std::string("http://other.example/?server&stream_name=new-name"));
  }

  void cancelAndUseDefaultValuesLeaveTheRecordAlone() {
    CSettings live;
    live.server_url = "http://example.org/";
    live.contact_name = "kept";
    live.refresh_rate_ms = 3000;
    live.picture_size = 300;
    CSettingsDialog dialog(live);
    const std::time_t before = std::time(nullptr);
    Control<QPushButton>(dialog, "useDefaults")->click();
    const std::time_t after = std::time(nullptr);
    QCOMPARE(TextOf(dialog, "serverUrl"), QString("http://localhost:8080/"));
    QVERIFY(TextOf(dialog, "contactName") == QString::fromStdString(DefaultContactName(before)) ||
            TextOf(dialog, "contactName") == QString::fromStdString(DefaultContactName(after)));
    QCOMPARE(TextOf(dialog, "refreshRate"), QString("1000"));
    QCOMPARE(SelectionOf(dialog, "pictureQuality"), 0);
    QCOMPARE(SelectionOf(dialog, "pictureSize"), 2);
    Control<QPushButton>(dialog, "cancel")->click();
    QCOMPARE(dialog.result(), int{kDialogCancel});
    QCOMPARE(live.contact_name, std::string("kept"));
    QCOMPARE(live.refresh_rate_ms, 3000);
    QCOMPARE(live.picture_size, 300u);
  }

  void anEmptyServerUrlPutsTheDefaultsIntoTheRecordAtOnce() {
    CSettings live;
    live.server_url = "";
    live.contact_name = "old";
    live.refresh_rate_ms = 100;
    live.picture_size = 0;
    CSettingsDialog dialog(live);
    QCOMPARE(live.server_url, std::string("http://localhost:8080/"));
    QVERIFY(live.contact_name != "old");
    QCOMPARE(live.refresh_rate_ms, 1000);
    QCOMPARE(live.picture_size, 600u);
    dialog.reject();
    QCOMPARE(dialog.result(), int{kDialogCancel});
    QCOMPARE(live.server_url, std::string("http://localhost:8080/"));
  }

  void theFieldsFilterWhatIsTyped() {
    CSettings live;
    CSettingsDialog dialog(live);
    auto* name = Control<CFilteredEdit>(dialog, "contactName");
    auto* rate = Control<CFilteredEdit>(dialog, "refreshRate");
    name->clear();
    rate->clear();
    QTest::keyClicks(name, "a b.c-_1");
    QTest::keyClicks(rate, "1x5");
    QCOMPARE(name->text(), QString("abc-_1"));
    QCOMPARE(rate->text(), QString("15"));
  }
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::SettingsDialogTest)
#include "SettingsDialogTest.moc"
