// The application-wide keys: F6 and Shift+F6 over tab pages, F4 left alone
// until a calculator exists, Scroll Lock printing the active window after
// the question, pop-up hints switched off.

#include "WorkspaceTestSupport.h"

#include "workspace/DialogUserInterface.h"
#include "workspace/KeyFilter.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QHelpEvent>
#include <QTabWidget>
#include <QToolTip>
#include <QVBoxLayout>

using namespace WsTest;

namespace {

// A line edit that records the keys reaching it (modifier keys alone left
// out).
class TKeyCounter : public QLineEdit {
public:
    QList<QKeyCombination> keys;

protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (e->key() != Qt::Key_Shift && e->key() != Qt::Key_Control && e->key() != Qt::Key_Alt)
            keys << e->keyCombination();
        QLineEdit::keyPressEvent(e);
    }
};

} // namespace

class TKeyFilterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCoreApplication::setApplicationName(QStringLiteral("Quarn")); }

    void f6MovesPages_data()
    {
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("nested");
        QTest::addColumn<int>("page");
        QTest::newRow("F6") << 0 << int(Qt::NoModifier) << false << 1;
        QTest::newRow("F6 on the last page goes round") << 2 << int(Qt::NoModifier) << false << 0;
        QTest::newRow("Shift+F6") << 1 << int(Qt::ShiftModifier) << false << 0;
        QTest::newRow("Shift+F6 on the first page goes round") << 0 << int(Qt::ShiftModifier) << false << 2;
        QTest::newRow("Ctrl+F6 does nothing") << 1 << int(Qt::ControlModifier) << false << 1;
        QTest::newRow("Alt+Shift+F6 does nothing") << 1 << int(Qt::AltModifier | Qt::ShiftModifier) << false << 1;
        QTest::newRow("the nearest pages move") << 0 << int(Qt::NoModifier) << true << 1;
    }

    // F6 moves the nearest tab pages around the focused control; the key is
    // consumed whatever the modifiers.
    void f6MovesPages()
    {
        QFETCH(int, start);
        QFETCH(int, modifiers);
        QFETCH(bool, nested);
        QFETCH(int, page);
        TKeyFilter filter;
        QWidget window;
        auto *pages = new QTabWidget;
        auto *edit = new TKeyCounter;
        pages->addTab(edit, QStringLiteral("SQL"));
        pages->addTab(new QWidget, QStringLiteral("Просмотр"));
        pages->addTab(new QWidget, QStringLiteral("Третья"));
        auto *outer = new QTabWidget;
        outer->addTab(nested ? static_cast<QWidget *>(pages) : new QWidget, QStringLiteral("Внутри"));
        outer->addTab(new QWidget, QStringLiteral("Снаружи"));
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(nested ? static_cast<QWidget *>(outer) : pages);
        if (!nested)
            delete outer;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        pages->setCurrentIndex(start);
        QWidget *focus = start == 0 ? static_cast<QWidget *>(edit) : pages->tabBar();
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_F6, Qt::KeyboardModifiers(modifiers));
        QCOMPARE(pages->currentIndex(), page);
        if (nested)
            QCOMPARE(outer->currentIndex(), 0);
        QVERIFY(edit->keys.isEmpty());
    }

    // Without any tab page F6 does nothing and is consumed still. F4 belongs
    // to the focused window while there is no calculator; with one, F4 alone
    // shows it, a further F4 while it shows does nothing, Ctrl+F4 and
    // Shift+F4 are not taken.
    // Alt with a Latin letter presses the mnemonic of the Russian letter on
    // the same key: a button, a label's buddy; other keys go on as typed.
    void latinMnemonics()
    {
        TKeyFilter filter;
        QDialog dialog;
        auto *layout = new QVBoxLayout(&dialog);
        auto *aliases = new QPushButton("&Псевдонимы...", &dialog);
        auto *live = new QCheckBox("&Редактирование", &dialog);
        auto *host = new TKeyCounter;
        auto *label = new QLabel("&Хост:", &dialog);
        label->setBuddy(host);
        for (QWidget *w : {static_cast<QWidget *>(aliases), static_cast<QWidget *>(live), static_cast<QWidget *>(label),
                           static_cast<QWidget *>(host)})
            layout->addWidget(w);
        int pressed = 0;
        QObject::connect(aliases, &QPushButton::clicked, [&] { ++pressed; });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QTest::keyClick(&dialog, Qt::Key_G, Qt::AltModifier);
        QCOMPARE(pressed, 1);
        QTest::keyClick(&dialog, Qt::Key_H, Qt::AltModifier);
        QVERIFY(live->isChecked());
        QTest::keyClick(&dialog, Qt::Key_BracketLeft, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), host);
        QTest::keyClick(host, Qt::Key_Q, Qt::AltModifier);   // Й: no such mnemonic
        QCOMPARE(host->keys, QList<QKeyCombination>{Qt::AltModifier | Qt::Key_Q});
        QCOMPARE(pressed, 1);
    }

    void f6AndF4WithoutPages()
    {
        TKeyFilter filter;
        TKeyCounter edit;
        edit.show();
        edit.setFocus();
        QTest::keyClick(&edit, Qt::Key_F6);
        QTest::keyClick(&edit, Qt::Key_F4);
        QCOMPARE(edit.keys, QList<QKeyCombination>{Qt::Key_F4});
        edit.keys.clear();
        int shown = 0;
        filter.OnCalculatorKey = [&] {
            ++shown;
            QTest::keyClick(&edit, Qt::Key_F4);   // pressed while it is on screen
        };
        QTest::keyClick(&edit, Qt::Key_F4);
        QTest::keyClick(&edit, Qt::Key_F4, Qt::ControlModifier);
        QTest::keyClick(&edit, Qt::Key_F4, Qt::ShiftModifier);
        QTest::keyClick(&edit, Qt::Key_F4);
        QCOMPARE(shown, 2);
        QCOMPARE(edit.keys, QList<QKeyCombination>({Qt::ControlModifier | Qt::Key_F4, Qt::ShiftModifier | Qt::Key_F4}));
    }

    void scrollLockPrints_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("printed");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << true;
        QTest::newRow("No") << int(QMessageBox::No) << false;
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << false;
    }

    // Scroll Lock asks first; Yes prints an image of the active window. No
    // printer is installed here, so the virtual printer writes form.pdf.
    void scrollLockPrints()
    {
        QFETCH(int, answer);
        QFETCH(bool, printed);
        TDialogUserInterface ui;
        SetUserInterface(&ui);
        const QString pdf = QDir(ProgramDir()).filePath(QStringLiteral("form.pdf"));
        QFile::remove(pdf);
        auto main = newMainForm();
        TBoxSeen seen;
        auto box = answerBox(seen, QMessageBox::StandardButton(answer));
        QTest::keyClick(main.get(), Qt::Key_ScrollLock);
        SetUserInterface(nullptr);
        QCOMPARE(seen.text, QStringLiteral("Вы уверены, что хотите печатать форму ?"));
        QCOMPARE(seen.icon, QMessageBox::Warning);
        QCOMPARE(seen.buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QFile f(pdf);
        QCOMPARE(f.open(QIODevice::ReadOnly), printed);
        if (printed) {
            QCOMPARE(f.read(5), QByteArray("%PDF-"));
            QVERIFY(f.size() > 1000);   // the image is in it
        }
    }

    // Pop-up hints are off for the whole program; the filter sees the keys
    // of modal dialogs too.
    void toolTipsOffAndModalDialogs()
    {
        TKeyFilter filter;
        QDialog dialog;
        dialog.setToolTip(QStringLiteral("подсказка"));
        auto *pages = new QTabWidget(&dialog);
        auto *edit = new QLineEdit;
        pages->addTab(edit, QStringLiteral("1"));
        pages->addTab(new QWidget, QStringLiteral("2"));
        auto watch = onModal<QDialog>([&](QDialog *d) {
            QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), d->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(d, &help);
            QVERIFY(!QToolTip::isVisible());
            edit->setFocus();
            QTest::keyClick(edit, Qt::Key_F6);
        });
        dialog.exec();
        QCOMPARE(pages->currentIndex(), 1);
    }
};

QUARN_WIDGETS_TEST_MAIN(TKeyFilterTest)
#include "KeyFilterTest.moc"
