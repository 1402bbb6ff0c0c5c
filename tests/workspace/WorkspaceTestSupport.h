#pragma once

// Helpers of the workspace's widget tests: answering modal windows without
// blocking, the DEMO database, a main window ready for keys, and a stand-in
// for the SQL editor window, on which the main window's SQL commands act.

#include "TestSupport.h"
#include "data/DataTestSupport.h"

#include "common/Settings.h"
#include "data/Database.h"
#include "workspace/DbEngineErrorDlg.h"
#include "workspace/DbMainForm.h"
#include "workspace/OpenDbDlg.h"
#include "workspace/QuarnForm.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>
#include <memory>

namespace WsTest {

// Acts on each of the next `times` modal windows of class T from a timer
// (so inside any modal loop), then closes the window if the action left it
// open: a failed check inside the action must not leave the test in exec.
class TModalWatch {
public:
    template <class T>
    static std::unique_ptr<TModalWatch> on(std::function<void(T *)> action, int times = 1)
    {
        auto watch = std::make_unique<TModalWatch>();
        watch->m_left = times;
        QObject::connect(&watch->m_timer, &QTimer::timeout, [w = watch.get(), action] {
            T *modal = qobject_cast<T *>(QApplication::activeModalWidget());
            if (!modal || !modal->isVisible() || w->m_left <= 0)
                return;
            --w->m_left;
            ++w->m_hits;
            QPointer<T> alive = modal;
            action(modal);
            if (alive && alive->isVisible())
                static_cast<QDialog *>(alive.data())->done(QDialog::Rejected);
        });
        watch->m_timer.start(15);
        return watch;
    }
    int Hits() const { return m_hits; }

private:
    QTimer m_timer;
    int m_left = 0;
    int m_hits = 0;
};

template <class T>
std::unique_ptr<TModalWatch> onModal(std::function<void(T *)> action, int times = 1)
{
    return TModalWatch::on<T>(std::move(action), times);
}

// What a message box showed; it is answered with `answer`.
struct TBoxSeen {
    QString text, title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    int count = 0;
};

inline std::unique_ptr<TModalWatch> answerBox(TBoxSeen &seen, QMessageBox::StandardButton answer)
{
    return onModal<QMessageBox>([&seen, answer](QMessageBox *box) {
        seen = {box->text(), box->windowTitle(), box->icon(), box->standardButtons(), seen.count + 1};
        if (QAbstractButton *b = box->button(answer))
            b->click();
    });
}

// What the engine-error dialog showed (with its details opened).
struct TErrorSeen {
    QString text, category;
    int count = 0;
};

inline std::unique_ptr<TModalWatch> watchErrors(TErrorSeen &seen)
{
    return onModal<TDbEngineErrorDlg>([&seen](TDbEngineErrorDlg *d) {
        if (!d->DetailsOpen())
            QTest::mouseClick(d->DetailsBtn, Qt::LeftButton);
        seen = {d->ErrorText->text(), d->DbCatSub->text(), seen.count + 1};
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
}

// Picks `alias` in the open-database dialog and clicks OK.
inline std::unique_ptr<TModalWatch> chooseAlias(const QString &alias)
{
    return onModal<TOpenDbDlg>([alias](TOpenDbDlg *d) {
        const QList<QTableWidgetItem *> found = d->AliasGrid->findItems(alias, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(alias));
        d->AliasGrid->setCurrentItem(found.first());
        QTest::mouseClick(d->OKBtn, Qt::LeftButton);
    });
}

// Types a file name into a file dialog and presses Enter, as a person
// would (selectFile() leaves a focused name box as it is).
inline void typeFileName(QFileDialog *d, const QString &file)
{
    auto *edit = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    QVERIFY(edit);
    edit->setText(file);
    QTest::keyClick(edit, Qt::Key_Return);
}

// The DEMO database in the test's program directory, made from the
// project's scripts as ./run.sh makes it.
inline void createDemo()
{
    QStringList scripts;
    for (const char *name : {"/sql/sys_tables_sqlite.sql", "/sql/demo.sql"}) {
        QFile f(QStringLiteral(QUARN_SOURCE_DIR) + QLatin1String(name));
        QVERIFY(f.open(QIODevice::ReadOnly));
        scripts << QString::fromUtf8(f.readAll());
    }
    CreateSqliteDatabase(QStringLiteral("demo.sqlite"), scripts);
}

inline std::unique_ptr<TDbMainForm> newMainForm()
{
    auto form = std::make_unique<TDbMainForm>();
    form->show();
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        qWarning("the main window did not become active");
    return form;
}

// Lets deferred work (deletes of closed windows, activations) happen.
inline void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

// The first child line of `parent` whose text starts with `text`.
inline QTreeWidgetItem *line(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0).startsWith(text))
            return parent->child(i);
    return nullptr;
}

inline QStringList childTexts(QTreeWidgetItem *parent)
{
    QStringList texts;
    for (int i = 0; i < parent->childCount(); ++i)
        texts << parent->child(i)->text(0);
    return texts;
}

inline QList<TQuarnForm *> browsers(const TDbMainForm &main)
{
    QList<TQuarnForm *> list;
    for (TDbForm *f : main.Children())
        if (auto *b = qobject_cast<TQuarnForm *>(f))
            list << b;
    return list;
}

// A browser on `alias` with its root open.
inline TQuarnForm *openBrowser(TDbMainForm &main, const QString &alias)
{
    main.OpenDatabase(alias);
    TQuarnForm *browser = browsers(main).last();
    browser->ToggleLine(browser->Tree->topLevelItem(0));
    return browser;
}

// A stand-in for the SQL editor window.
class TStubEditor : public TDbForm, public TSQLEditor {
public:
    TStubEditor(TDbMainForm &main, TDatabase *db, const QString &table) : TDbForm(main, db), Table(table)
    {
        SetContent(new QWidget(this));
        ShowChild();
    }
    QStringList SQLLines() const override { return Lines; }
    void SetSQLLines(const QStringList &lines) override { Lines = lines; }
    void RunStatement() override { ++Runs; }
    void RunScript() override { ++Scripts; }
    void ShowHistory() override {}
    void ShowPlan() override { ++Plans; }

    QString Table;
    QStringList Lines;
    int Runs = 0, Scripts = 0, Plans = 0;
};

// Installs the stand-in's factory; `opened` collects the editors made.
inline void installStubEditor(TDbMainForm &main, QList<TStubEditor *> *opened = nullptr)
{
    main.SetSQLEditorFactory([opened](TDbMainForm &m, TDatabase *db, const QString &table) -> TDbForm * {
        auto *editor = new TStubEditor(m, db, table);   // owned by the client area
        if (opened)
            opened->append(editor);
        return editor;
    });
}

} // namespace WsTest
