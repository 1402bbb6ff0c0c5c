// The money entry field typed into with real keys (plain and data-aware),
// and the value combo box over a real table on SQLite and PostgreSQL.

#include "../grid/GridTestSupport.h"

#include "uisupport/Guard.h"
#include "widgets/DBEdit.h"
#include "widgets/KtComboBox.h"
#include "widgets/KtCurrencyLink.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

// A window with the field under test and a second control to move the
// focus to.
struct TWindow {
    QWidget window;
    QLineEdit *other = new QLineEdit;
    explicit TWindow(QWidget *field)
    {
        auto *layout = new QVBoxLayout(&window);
        layout->addWidget(field);
        layout->addWidget(other);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        field->setFocus();
    }
};

void type(QWidget *w, const QString &keys)
{
    for (QChar c : keys)
        QTest::keyClick(w, c.toLatin1());
}

// Real key events for any characters, Cyrillic ones included.
void typeText(QWidget *w, const QString &text)
{
    for (QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

struct TErrors {
    QStringList messages;
    TExceptionHandler previous =
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { messages << e.Message(); });
    ~TErrors() { SetApplicationExceptionHandler(previous); }
};

} // namespace

class CurrencyLinkTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        GridTest::setUpEngines("quarn_currencylink");
        for (const QString &alias : GridTest::engines)
            if (GridTest::usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS LINK_T",
                                       "CREATE TABLE LINK_T (ID INTEGER PRIMARY KEY, ORIENT VARCHAR(1),"
                                       " PRICE NUMERIC(12,2), QTY INTEGER)",
                                       "INSERT INTO LINK_T VALUES (1, 'P', 1234.5, 1)",
                                       "INSERT INTO LINK_T VALUES (2, 'X', 7, 2)"});
    }

    // Each key shows the regrouped number with the caret after the digit
    // just typed.
    void typingGroupsThousands()
    {
        QLineEdit &edit = *new QLineEdit;   // owned by the window
        TKtCurrencyLink link;
        link.SetLinkEdit(&edit);
        TWindow w(&edit);
        const QStringList shown = {"1", "12", "123", "1,234", "12,345", "12,345.", "12,345.5"};
        const QString keys = "12345.5";
        for (int i = 0; i < keys.size(); ++i) {
            QTest::keyClick(&edit, keys.at(i).toLatin1());
            QCOMPARE(edit.text(), shown.at(i));
            QCOMPARE(edit.cursorPosition(), int(edit.text().size()));
        }
        QCOMPARE(link.Value(), 12345.5);
    }

    void keys_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("caret");
        QTest::addColumn<double>("value");
        QTest::newRow("a point into an empty field") << "." << "0." << 2 << 0.0;
        QTest::newRow("a comma is the point") << "12,5" << "12.5" << 4 << 12.5;
        QTest::newRow("a second point is refused") << "1.2.3" << "1.23" << 4 << 1.23;
        QTest::newRow("a second comma is refused") << "7,1,2" << "7.12" << 4 << 7.12;
        QTest::newRow("letters are dropped") << "1a2b3 4" << "1,234" << 5 << 1234.0;
        QTest::newRow("a lone minus stays") << "-" << "-" << 1 << 0.0;
        QTest::newRow("a negative amount") << "-1234567" << "-1,234,567" << 10 << -1234567.0;
        QTest::newRow("minus zero keeps its sign") << "-0.5" << "-0.5" << 4 << -0.5;
        QTest::newRow("a minus after digits is not a number") << "12-" << "12" << 2 << 12.0;
        QTest::newRow("typed decimals are kept") << "1000.10" << "1,000.10" << 8 << 1000.1;
    }

    void keys()
    {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(int, caret);
        QFETCH(double, value);
        QLineEdit &edit = *new QLineEdit;   // owned by the window
        TKtCurrencyLink link;
        link.SetLinkEdit(&edit);
        TWindow w(&edit);
        type(&edit, keys);
        QCOMPARE(edit.text(), text);
        QCOMPARE(edit.cursorPosition(), caret);
        QCOMPARE(link.Value(), value);
    }

    // The caret stays after the same digit when the separators move under
    // it; a pasted text that is not a number brings the last good one back.
    void caretAndPaste()
    {
        QLineEdit &edit = *new QLineEdit;   // owned by the window
        TKtCurrencyLink link;
        link.SetLinkEdit(&edit);
        TWindow w(&edit);
        type(&edit, "12345");
        QTest::keyClick(&edit, Qt::Key_Home);
        QTest::keyClick(&edit, Qt::Key_Right);
        QTest::keyClick(&edit, '9');
        QCOMPARE(edit.text(), QString("192,345"));
        QCOMPARE(edit.cursorPosition(), 2);
        QTest::keyClick(&edit, Qt::Key_End);
        QTest::keyClick(&edit, Qt::Key_Backspace);
        QCOMPARE(edit.text(), QString("19,234"));
        QCOMPARE(edit.cursorPosition(), 6);
        QApplication::clipboard()->setText("abc");
        QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit.text(), QString("19,234"));
        QApplication::clipboard()->setText("5000000");
        QTest::keyClick(&edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit.text(), QString("5,000,000"));
        QCOMPARE(link.LastGoodText(), QString("5,000,000"));
        // writing Value, and the process-wide switch
        link.SetValue(1234567.25);
        QCOMPARE(edit.text(), QString("1,234,567.25"));
        edit.clear();
        QVERIFY(link.LastGoodText().isEmpty());
        TKtCurrencyLink::LiveFormatting() = false;
        type(&edit, "12345x");
        TKtCurrencyLink::LiveFormatting() = true;
        QCOMPARE(edit.text(), QString("12345"));
        link.SetLinkEdit(nullptr);
        type(&edit, "x");
        QCOMPARE(edit.text(), QString("12345x"));
    }

    // On a data-aware edit the text is written only while the dataset is
    // editing: typing starts the edit, leaving the field writes the value.
    void dataAwareEdit()
    {
        TQuery query;
        query.SetDatabaseName("LITE");
        query.SetSQLText("select ID, PRICE from LINK_T order by ID");
        query.SetRequestLive(true);
        query.Open();
        TDataSource source(&query);
        auto *edit = new TDBEdit;
        edit->SetDataSource(&source);
        edit->SetDataField("PRICE");
        TKtCurrencyLink link;
        link.SetLinkEdit(edit);
        TWindow w(edit);
        QCOMPARE(edit->text(), QString("1234.5"));   // browsing: left alone
        link.SetValue(99);
        QCOMPARE(edit->text(), QString("1234.5"));
        QCOMPARE(query.State(), dsBrowse);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        type(edit, "2345678.9");
        QCOMPARE(query.State(), dsEdit);
        QCOMPARE(edit->text(), QString("2,345,678.9"));
        w.other->setFocus();
        QCOMPARE(query.FieldByName("PRICE")->AsFloat(), 2345678.9);
        query.Post();
        QCOMPARE(DataTest::scalar("LITE", "select PRICE from LINK_T where ID = 1").toDouble(), 2345678.9);
        edit->SetDataSource(nullptr);
    }

    // Items shown over values stored, in a real table: the list style
    // shows the item of the stored value (none for a value not among the
    // values) and stores the value of the item chosen; the edit style shows
    // an unknown value as typed.
    void comboShowsAndStores_data() { DataTest::engineRows(); }
    void comboShowsAndStores()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        DataTest::exec(alias, {"UPDATE LINK_T SET ORIENT = 'P' WHERE ID = 1", "UPDATE LINK_T SET ORIENT = 'X' WHERE ID = 2"});
        TQuery query;
        query.SetDatabaseName(alias);
        query.SetSQLText("select ID, ORIENT from LINK_T order by ID");
        query.SetRequestLive(true);
        query.Open();
        TDataSource source(&query);
        auto *combo = new TKtComboBox;
        combo->SetItems({"Горизонтальная", "Вертикальная"});
        combo->SetValues({"L", "P"});
        combo->SetDataSource(&source);
        combo->SetDataField("ORIENT");
        TWindow w(combo);
        QCOMPARE(combo->currentText(), QString("Вертикальная"));
        query.Next();
        QCOMPARE(combo->currentIndex(), -1);
        QCOMPARE(combo->currentText(), QString());
        // the space bar: the next item, from none to the first
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Space);
        QCOMPARE(combo->currentText(), QString("Горизонтальная"));
        QCOMPARE(query.State(), dsEdit);
        w.other->setFocus();
        QCOMPARE(query.FieldByName("ORIENT")->AsString(), QString("L"));
        query.Post();
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Space);
        QTest::keyClick(combo, Qt::Key_Space);
        QTest::keyClick(combo, Qt::Key_Space);   // round to the second
        QCOMPARE(combo->currentText(), QString("Вертикальная"));
        w.other->setFocus();
        query.Post();
        QCOMPARE(DataTest::scalar(alias, "select ORIENT from LINK_T where ID = 2"), QString("P"));
        // Esc gives the stored value back
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Space);
        QCOMPARE(combo->currentText(), QString("Горизонтальная"));
        QTest::keyClick(combo, Qt::Key_Escape);
        QCOMPARE(combo->currentText(), QString("Вертикальная"));
        query.Cancel();

        // the edit style: an unknown value stays as typed, an item stores
        // its value, other text is stored as typed
        query.First();
        DataTest::exec(alias, {"UPDATE LINK_T SET ORIENT = 'X' WHERE ID = 1"});
        query.Refresh();
        combo->SetStyle(TKtComboBox::csDropDown);
        QCOMPARE(combo->currentText(), QString("X"));
        combo->setFocus();
        combo->lineEdit()->selectAll();
        typeText(combo, "Горизонтальная");
        w.other->setFocus();
        QCOMPARE(query.FieldByName("ORIENT")->AsString(), QString("L"));
        combo->setFocus();
        combo->lineEdit()->selectAll();
        QTest::keyClicks(combo, "Q");
        w.other->setFocus();
        QCOMPARE(query.FieldByName("ORIENT")->AsString(), QString("Q"));
        query.Cancel();
        combo->SetDataSource(nullptr);
    }

    // A dataset that cannot be edited opens no list and takes no key; a
    // value the field refuses keeps the focus in the control.
    void comboRefuses()
    {
        TQuery query;
        query.SetDatabaseName("LITE");
        query.SetSQLText("select ID, ORIENT, QTY from LINK_T order by ID");
        query.Open();   // not live: read-only
        TDataSource source(&query);
        auto *combo = new TKtComboBox;
        combo->SetItems({"Горизонтальная", "Вертикальная"});
        combo->SetValues({"L", "P"});
        combo->SetDataSource(&source);
        combo->SetDataField("ORIENT");
        TWindow w(combo);
        const QString before = combo->currentText();
        QTest::keyClick(combo, Qt::Key_Space);
        QTest::keyClick(combo, Qt::Key_Down);
        combo->showPopup();
        QVERIFY(!combo->view()->isVisible());
        QCOMPARE(combo->currentText(), before);
        QCOMPARE(query.State(), dsBrowse);

        query.Close();
        query.SetRequestLive(true);
        query.Open();
        combo->SetItems({});
        combo->SetValues({});
        combo->SetStyle(TKtComboBox::csDropDown);
        combo->SetDataField("QTY");
        QCOMPARE(combo->currentText(), QString("1"));
        combo->setFocus();
        combo->lineEdit()->selectAll();
        TErrors errors;
        QTest::keyClicks(combo, "2x-3");   // the letter is refused
        QCOMPARE(combo->currentText(), QString("2-3"));
        w.other->setFocus();
        QCOMPARE(errors.messages.size(), 1);
        QTRY_VERIFY(combo->hasFocus());
        QCOMPARE(combo->lineEdit()->selectedText(), QString("2-3"));
        query.Cancel();
        combo->SetDataSource(nullptr);
    }
};

QUARN_WIDGETS_TEST_MAIN(CurrencyLinkTest)
#include "CurrencyLinkTest.moc"
