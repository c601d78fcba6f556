#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QtTest>

#include "dialogs/CharacterSet.h"
#include "dialogs/FilteredEdit.h"
#include "tests/support/BeepCounter.h"

namespace lumivanta {
namespace {

// Types each character as a key press carrying that text, also outside Latin-1.
void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
}

}  // namespace

class FilteredEditTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    edit_ = std::make_unique<CFilteredEdit>();
    edit_->show();
  }
  void cleanup() { edit_.reset(); }

  void typingLetsOnlyTheSetIn() {
    const CharacterList digits(kDigitCharacters);
    edit_->SetCharacterSet(&digits);
    test::BeepCounter beeps;
    QTest::keyClicks(edit_.get(), "12a3.4 5");
    QCOMPARE(edit_->text(), QString("12345"));
    QCOMPARE(beeps.Count(), 3);

    const CharacterList names(kNameCharacters);
    edit_->SetCharacterSet(&names);
    edit_->clear();
    QTest::keyClicks(edit_.get(), "Ab-_9");
    Type(edit_.get(), QString::fromUtf8("ä ."));
    QCOMPARE(edit_->text(), QString("Ab-_9"));
    QCOMPARE(beeps.Count(), 6);
  }

  void aPasteIsAllOrNothing() {
    const CharacterList names(kNameCharacters);
    edit_->SetCharacterSet(&names);
    test::BeepCounter beeps;
    QGuiApplication::clipboard()->setText("abc-123");
    QTest::keySequence(edit_.get(), QKeySequence::Paste);
    QCOMPARE(edit_->text(), QString("abc-123"));
    QGuiApplication::clipboard()->setText("x y");
    QTest::keySequence(edit_.get(), QKeySequence::Paste);
    QCOMPARE(edit_->text(), QString("abc-123"));
    QCOMPARE(beeps.Count(), 1);
    // A paste that replaces the selection is judged by what it brings in only.
    edit_->selectAll();
    QGuiApplication::clipboard()->setText("Z");
    QTest::keySequence(edit_.get(), QKeySequence::Paste);
    QCOMPARE(edit_->text(), QString("Z"));
    QCOMPARE(beeps.Count(), 1);
  }

  void aClipboardWithoutTextBeeps() {
    const CharacterList digits(kDigitCharacters);
    edit_->SetCharacterSet(&digits);
    edit_->setText("500");
    test::BeepCounter beeps;
    auto* picture_only = new QMimeData;
    picture_only->setImageData(QImage(4, 4, QImage::Format_RGB32));
    QGuiApplication::clipboard()->setMimeData(picture_only);
    QTest::keySequence(edit_.get(), QKeySequence::Paste);
    QCOMPARE(edit_->text(), QString("500"));
    QCOMPARE(beeps.Count(), 1);
  }

  void undoTakesBackTheLastChange() {
    const CharacterList digits(kDigitCharacters);
    edit_->SetCharacterSet(&digits);
    QTest::keyClicks(edit_.get(), "12");
    QTest::keyClicks(edit_.get(), "x");
    QTest::keySequence(edit_.get(), QKeySequence::Undo);
    QVERIFY(edit_->text().size() < 2);
    QTest::keySequence(edit_.get(), QKeySequence::Redo);
    QCOMPARE(edit_->text(), QString("12"));
  }

  void textAlreadyThereIsNeverJudged() {
    const CharacterList names(kNameCharacters);
    edit_->SetCharacterSet(&names);
    edit_->setText("from file");  // a blank the set refuses, as the configuration file can hold it
    test::BeepCounter beeps;
    edit_->end(false);
    QTest::keyClicks(edit_.get(), "X");
    QCOMPARE(edit_->text(), QString("from fileX"));
    QTest::keyClick(edit_.get(), Qt::Key_Backspace);
    QCOMPARE(edit_->text(), QString("from file"));
    QCOMPARE(beeps.Count(), 0);
  }

  void selectAllFollowsThePlatformConvention() {
    const CharacterList digits(kDigitCharacters);
    edit_->SetCharacterSet(&digits);
    edit_->setText("1234");
    test::BeepCounter beeps;
    QTest::keySequence(edit_.get(), QKeySequence::SelectAll);
    QCOMPARE(edit_->selectedText(), QString("1234"));
    QCOMPARE(beeps.Count(), 0);
  }

 private:
  std::unique_ptr<CFilteredEdit> edit_;
};

}  // namespace lumivanta

QTEST_MAIN(lumivanta::FilteredEditTest)
#include "FilteredEditTest.moc"
