// The dictionary button on a real SQLite file and on PostgreSQL: the
// keypad "+" lookup through the choice window, the label that follows the
// code, a required code refused, and the window of GetFromDictionary.

#include "../grid/GridTestSupport.h"

#include "common/DateTime.h"
#include "grid/SearchDBGrid.h"
#include "report/DataFunctions.h"
#include "uisupport/Guard.h"
#include "widgets/DicButton.h"

#include <QHBoxLayout>
#include <QTimer>

using namespace GridTest;

namespace {

struct TForm {
    QWidget window;
    QLineEdit *edit = new QLineEdit(&window);
    QLineEdit *other = new QLineEdit(&window);
    QLabel *label = new QLabel(&window);
    TDicButton *button = new TDicButton(&window);
    explicit TForm(const QString &alias)
    {
        auto *layout = new QHBoxLayout(&window);
        for (QWidget *w : {static_cast<QWidget *>(edit), static_cast<QWidget *>(button), static_cast<QWidget *>(label),
                           static_cast<QWidget *>(other)})
            layout->addWidget(w);
        button->SetLinkEdit(edit);
        button->SetLinkLabel(label);
        button->DatabaseName = alias;
        button->GridSQL = {"select CODE, NAME, FOUNDED from CITIES order by CODE"};
        button->LabelSQL = {"select NAME from CITIES where CODE = :CODE"};
        button->RefField = "CODE";
        button->TextField = "NAME";
        window.show();
        edit->setFocus();
    }
};

struct TErrors {
    QStringList messages;
    TExceptionHandler previous =
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { messages << e.Message(); });
    ~TErrors() { SetApplicationExceptionHandler(previous); }
};

// Acts on the next choice window from inside its modal loop.
void onChoice(const std::function<void(TDicChoiceForm &)> &act)
{
    QTimer::singleShot(0, [act] {
        if (auto *form = qobject_cast<TDicChoiceForm *>(QApplication::activeModalWidget())) {
            act(*form);
            if (form->isVisible())
                form->reject();
        }
    });
}

} // namespace

class DicButtonTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        setUpEngines("quarn_dicbutton");
        for (const QString &alias : engines)
            if (usable(alias))
                DataTest::exec(alias, {"DROP TABLE IF EXISTS CITIES",
                                       "CREATE TABLE CITIES (CODE VARCHAR(3) PRIMARY KEY, NAME VARCHAR(20), FOUNDED DATE)",
                                       "INSERT INTO CITIES VALUES ('MSK', 'Москва', '1147-04-04')",
                                       "INSERT INTO CITIES VALUES ('NSK', 'Новосибирск', '1893-05-01')",
                                       "INSERT INTO CITIES VALUES ('SPB', 'Петербург', '1703-05-27')"});
    }

    // The keypad "+" in the edit box opens the choice window (its columns
    // from the map, its size at least 240); the chosen row fills the edit
    // box and the label, and the "+" is not typed.
    void lookup_data() { DataTest::engineRows(); }
    void lookup()
    {
        QFETCH(QString, alias);
        QUARN_NEED_ENGINE(alias);
        TForm f(alias);
        f.button->FieldMap = {"NAME=Город,20", "MISSING=Нет"};
        f.button->SetFormWidth(100);
        QStringList columns;
        int width = 0;
        onChoice([&](TDicChoiceForm &c) {
            width = c.width();
            for (int i = 0; i < c.Grid->ColumnCount(); ++i)
                columns << c.Grid->Model()->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
            QTest::keyClick(c.Grid->View(), Qt::Key_Down);
            QTest::mouseClick(c.ChooseBtn, Qt::LeftButton);
        });
        QTest::keyClick(f.edit, Qt::Key_Plus, Qt::KeypadModifier);
        QCOMPARE(columns, QStringList{"Город"});
        QCOMPARE(width, 240);
        QCOMPARE(f.edit->text(), QString("NSK"));
        QCOMPARE(f.edit->cursorPosition(), 3);
        QCOMPARE(f.label->text(), QString("Новосибирск"));
    }

    // The label follows the code; "???" for an unknown one; a hidden label
    // is left alone; a label query without a parameter is an error.
    void label()
    {
        TErrors errors;
        TForm f("LITE");
        f.edit->setText("SPB");
        QCOMPARE(f.label->text(), QString("Петербург"));
        f.edit->setText("XXX");
        QCOMPARE(f.label->text(), QString("???"));
        f.label->hide();
        f.edit->setText("MSK");
        QCOMPARE(f.label->text(), QString("???"));
        f.label->show();
        f.button->LabelSQL = {"select NAME from CITIES"};
        f.edit->setText("NSK");
        QCOMPARE(f.label->text(), QString("???"));
        QCOMPARE(errors.messages, QStringList{"Необходимо наличие параметра в запросе: select NAME from CITIES"});
        QVERIFY_EXCEPTION_THROWN(f.button->SetTitleRows(-1), Exception);
    }

    // A required code the dictionary does not know: "Неверное значение"
    // and the focus back in the edit box; a known one passes.
    void required()
    {
        TErrors errors;
        TForm f("LITE");
        f.button->Required = true;
        QApplication::setActiveWindow(&f.window);
        f.edit->setFocus();
        QTest::keyClicks(f.edit, "ABC");
        f.other->setFocus();
        QCOMPARE(errors.messages, QStringList{"Неверное значение"});
        QTRY_VERIFY(f.edit->hasFocus());
        f.edit->clear();
        QTest::keyClicks(f.edit, "MSK");
        f.other->setFocus();
        QCOMPARE(errors.messages.size(), 1);
        QCOMPARE(f.label->text(), QString("Москва"));
    }

    // GetFromDictionary's window gives the chosen field by its type, and
    // nothing when cancelled.
    void scriptChoice_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("text") << "NAME" << QVariant(QString("Москва"));
        QTest::newRow("date") << "FOUNDED" << QVariant(QDateTime(QDate(1147, 4, 4), QTime(0, 0)));
    }
    void scriptChoice()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, expected);
        TDictionaryRequest request;
        request.DatabaseName = "LITE";
        request.FieldName = field;
        request.Sql = "select * from CITIES where CODE < :LIMIT order by CODE";
        request.Columns = "NAME=Город;CODE=Код";
        request.Bind = [](TQuery &q) { q.ParamByName("LIMIT").SetValue(QString("N")); };
        int rows = 0;
        onChoice([&](TDicChoiceForm &c) {
            rows = c.Grid->Model()->rowCount();
            QTest::mouseClick(c.ChooseBtn, Qt::LeftButton);
        });
        QCOMPARE(DictionaryChoice(request), expected);
        QCOMPARE(rows, 1);
        onChoice([](TDicChoiceForm &c) { QTest::mouseClick(c.CancelBtn, Qt::LeftButton); });
        QVERIFY(DictionaryChoice(request).isNull());
    }
};

QUARN_WIDGETS_TEST_MAIN(DicButtonTest)
#include "DicButtonTest.moc"
