// The text editor with real keys and clicks: the save question, saving a
// new document, saving a fragment, bold without a selection, and files
// read and written back byte for byte in the code page.

#include "TestSupport.h"

#include "common/Settings.h"
#include "common/TextFile.h"
#include "common/UserInterface.h"
#include "viewer/EditForm.h"

#include <QAction>
#include <QDir>
#include <QTextBlock>
#include <QTextEdit>
#include <QtTest>

namespace {

class TAnswers : public TUserInterface {
public:
    TAnswers() : m_previous(SetUserInterface(this)) {}
    ~TAnswers() override { SetUserInterface(m_previous); }
    int Answer = mbYes;
    QStringList Asked;
    int MessageDlg(const QString &text, const QString &, Kind, const QList<Button> &) override
    {
        Asked << text;
        return Answer;
    }

private:
    TUserInterface *m_previous;
};

QByteArray bytesOf(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString inHome(const QString &name)
{
    return QDir(ProgramDir()).filePath(name);
}

} // namespace

class EditFormTest : public QObject {
    Q_OBJECT

private slots:
    // A file in the code page comes back byte for byte; the caption names it.
    void roundTrip()
    {
        const QByteArray original = EncodeText("Реестр счетов\r\n  СЧ-1  10.01.2026   1,200.50\r\n\r\nИтого\r\n");
        QFile f(inHome("report.prn"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(original);
        f.close();
        TEditForm form;
        form.LoadFile(f.fileName());
        QVERIFY(form.windowTitle().startsWith("report.prn - "));
        QVERIFY(!form.Modified());
        QTest::keyClick(form.Editor, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(form.Editor, "x");
        QTest::keyClick(form.Editor, Qt::Key_Backspace);
        QVERIFY(form.SaveClick());
        QCOMPARE(bytesOf(f.fileName()), original);
        if (qEnvironmentVariableIsSet("QUARN_SHOTS")) {
            form.show();
            form.grab().save(QDir(qEnvironmentVariable("QUARN_SHOTS")).filePath("editor.png"));
        }
    }

    // Cancel on the save question keeps the window; No closes it unsaved.
    void saveQuestion()
    {
        TAnswers ui;
        TEditForm form;
        form.show();
        QTest::keyClicks(form.Editor, "text");
        ui.Answer = TUserInterface::mbCancel;
        QTest::keyClick(&form, Qt::Key_Escape);
        QVERIFY(form.isVisible());
        QCOMPARE(ui.Asked, QStringList{"Сохранить изменения в Untitled?"});
        ui.Answer = TUserInterface::mbNo;
        form.close();
        QVERIFY(!form.isVisible());
    }

    // "&Сохранить" of a new document asks a name; a fragment keeps the
    // document's name and its modified flag.
    void saveNewAndFragment()
    {
        TAnswers ui;
        TEditForm form;
        QStringList asked;
        form.AskSaveName = [&](const QString &title) {
            asked << title;
            return inHome(asked.size() == 1 ? "new.txt" : "part.txt");
        };
        QTest::keyClicks(form.Editor, "first");
        QTest::keyClick(form.Editor, Qt::Key_Return);
        QTest::keyClicks(form.Editor, "second");
        QVERIFY(form.SaveClick());
        QCOMPARE(asked.size(), 1);
        QCOMPARE(form.FileName(), inHome("new.txt"));
        QCOMPARE(bytesOf(inHome("new.txt")), QByteArray("first\r\nsecond\r\n"));

        QTest::keyClicks(form.Editor, "!");
        QTest::keyClick(form.Editor, Qt::Key_Home, Qt::ShiftModifier);
        form.SaveFragmentClick();
        QCOMPARE(bytesOf(inHome("part.txt")), QByteArray("second!\r\n"));
        QCOMPARE(form.FileName(), inHome("new.txt"));
        QVERIFY(form.Modified());
    }

    // A bold click with no selection makes the whole text bold; with a
    // selection only the selection.
    void boldTarget()
    {
        TEditForm form;
        form.show();
        form.Editor->setPlainText("abc\ndef");
        form.BoldBtn->trigger();
        QVERIFY(form.Editor->document()->defaultFont().bold());
        QTextCursor c(form.Editor->document());
        c.movePosition(QTextCursor::End);
        QCOMPARE(c.charFormat().fontWeight(), int(QFont::Bold));

        form.Editor->setPlainText("abc\ndef");
        form.Editor->document()->setDefaultFont(QFont("Liberation Mono", 10));
        QTextCursor sel(form.Editor->document());
        sel.movePosition(QTextCursor::Right, QTextCursor::KeepAnchor, 2);
        form.Editor->setTextCursor(sel);
        form.ItalicBtn->trigger();
        QTextCursor at(form.Editor->document());
        at.setPosition(1);
        QVERIFY(at.charFormat().fontItalic());
        at.setPosition(5);
        QVERIFY(!at.charFormat().fontItalic());
        QVERIFY(!form.Editor->document()->defaultFont().italic());
    }
};

QUARN_WIDGETS_TEST_MAIN(EditFormTest)
#include "EditFormTest.moc"
