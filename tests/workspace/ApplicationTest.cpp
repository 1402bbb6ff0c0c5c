// The application object: exceptions never cross the event loop. Guarded
// handlers and, as the last net, notify hand every error to the
// application's handler; Qt's Russian translation is loaded.

#include "TestSupport.h"

#include "data/DBError.h"
#include "workspace/Application.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <stdexcept>

namespace {

// A widget whose mouse handler raises: nothing guards it but notify.
class TThrowingWidget : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        ++presses;
        throw EDBEngineError(DBErrorCode::ConnectionLost, QStringLiteral("нет соединения"));
    }
};

} // namespace

class TApplicationTest : public QObject {
    Q_OBJECT

    QStringList m_seen;

private slots:
    void init()
    {
        m_seen.clear();
        SetApplicationExceptionHandler([this](QObject *, const Exception &e) { m_seen << e.Message(); });
    }
    void cleanup() { SetApplicationExceptionHandler(nullptr); }

    void notifyIsTheLastNet()
    {
        TThrowingWidget w;
        w.show();
        QTest::mouseClick(&w, Qt::LeftButton);
        QTest::mouseClick(&w, Qt::LeftButton);   // and the program goes on
        QCOMPARE(w.presses, 2);
        QCOMPARE(m_seen, QStringList({QStringLiteral("нет соединения"), QStringLiteral("нет соединения")}));
    }

    void guardedHandlers_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("seen");   // empty: nothing reaches the handler
        QTest::newRow("error") << 0 << "Сначала выберите таблицу";
        QTest::newRow("standard exception") << 1 << "runtime";
        QTest::newRow("anything else") << 2 << "Внутренняя ошибка программы";
        QTest::newRow("silent abort") << 3 << "";
    }

    void guardedHandlers()
    {
        QFETCH(int, kind);
        QFETCH(QString, seen);
        QPushButton button;
        QObject::connect(&button, &QPushButton::clicked, &button, [&] {
            Guarded(&button, [&] {
                switch (kind) {
                case 0: throw Exception(QStringLiteral("Сначала выберите таблицу"));
                case 1: throw std::runtime_error("runtime");
                case 2: throw 42;
                default: Abort();
                }
            });
        });
        button.show();
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(m_seen, seen.isEmpty() ? QStringList() : QStringList{seen});
        QVERIFY(!button.isDown());   // the click ended normally
    }

    // Standard buttons read Да, Нет, Отмена.
    void russianStandardButtons()
    {
        QVERIFY(LoadQtTranslation());
        QDialogButtonBox box(QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Yes)->text().remove(u'&'), QStringLiteral("Да"));
        QCOMPARE(box.button(QDialogButtonBox::No)->text().remove(u'&'), QStringLiteral("Нет"));
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text().remove(u'&'), QStringLiteral("Отмена"));
    }
};

int main(int argc, char *argv[])
{
    TTestEnvironment environment;
    TQuarnApplication app(argc, argv);
    TApplicationTest tc;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&tc, argc, argv);
}
#include "ApplicationTest.moc"
