#pragma once

#include "RecordLinks.h"
#include "data/DataSet.h"
#include "data/Query.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTreeView;
class TGridEditForm;
class TDicButton;
class TSearchDBGrid;

// The windows of table states: the chooser of F3, the save dialog of
// Shift+F3, the editor of a group's states with its export and import of
// ".GRD" folders, the edit window of one state and the folder chooser.

// "Выбор состояния таблицы": the titles of a group's states.
class TChoiceGridForm : public QDialog {
    Q_OBJECT
public:
    TChoiceGridForm(QWidget *parent, const QString &databaseName, const QString &group);
    ~TChoiceGridForm() override;

    // The chosen title; empty when the list is empty.
    QString ChosenTitle() const;
    // Deletes the selected state after asking (the Delete key).
    void DeleteSelected();
    // Reopens the list.
    void Reopen();

    TQuery ListQuery;
    TDataSource ListSource;
    TSearchDBGrid *ChoiceGrid = nullptr;
    QPushButton *ChooseBtn = nullptr;
    QPushButton *ExitBtn = nullptr;
    QPushButton *EditorBtn = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString m_group;
};

// "Сохранение состояния таблицы": the title to save under.
class TSaveGridForm : public QDialog {
    Q_OBJECT
public:
    TSaveGridForm(QWidget *parent, TSearchDBGrid &grid, const QString &group);

    // Saves under the typed title; an empty title raises
    // "Название не может быть пустым" and the dialog stays.
    void SaveClick();

    QLineEdit *TitleEdit = nullptr;
    TDicButton *LookupBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

private:
    TSearchDBGrid &m_grid;
    QString m_group;
};

// "Редактор состояний таблицы": the states of a group (or of all groups),
// edited one at a time through a record link to TGridEditForm, written to
// and read from a folder of ".GRD" files.
class TChoiceEditGrdForm : public QDialog {
    Q_OBJECT
public:
    TChoiceEditGrdForm(QWidget *parent, const QString &databaseName, const QString &group);
    ~TChoiceEditGrdForm() override;

    void Reopen();
    void EditClick();
    void AddClick();
    void DeleteClick();
    // The folder is asked unless given.
    void ExportClick(const QString &dir = QString());
    void ImportClick(const QString &dir = QString());

    TQuery EditorQuery;
    TDataSource EditorSource;
    TSearchDBGrid *EditorGrid = nullptr;
    QCheckBox *AllGroupsBox = nullptr;
    QPushButton *EditBtn = nullptr;
    QPushButton *AddBtn = nullptr;
    QPushButton *DeleteBtn = nullptr;
    QPushButton *ExportBtn = nullptr;
    QPushButton *ImportBtn = nullptr;
    QPushButton *ExitBtn = nullptr;
    QProgressBar *Progress = nullptr;
    TPtFormLink *FormLink = nullptr;
    TGridEditForm *EditForm = nullptr;

private:
    QString m_databaseName;
    QString m_group;
};

// "Редактор состояния таблицы": one state's title, group and four parts,
// found by the three key columns of the editor's current row. A new state
// gets the editor's group and AppName.
class TGridEditForm : public TPtEditForm {
    Q_OBJECT
public:
    TGridEditForm(QWidget *parent, const QString &databaseName, const QString &group);
    ~TGridEditForm() override;


    TQuery EditQuery;
    TDataSource EditSource;
    TPtDBLink *DBLink = nullptr;
    QLineEdit *TitleEdit = nullptr;
    QLineEdit *GroupEdit = nullptr;
    TDicButton *GroupLookupBtn = nullptr;
    QTabWidget *Pages = nullptr;
    QPlainTextEdit *SearchMemo = nullptr;
    QPlainTextEdit *ChoiceMemo = nullptr;
    QPlainTextEdit *BuildMemo = nullptr;
    QPlainTextEdit *OrderMemo = nullptr;
    QPushButton *CancelBtn = nullptr;
    QPushButton *SaveBtn = nullptr;
    QPushButton *AddBtn = nullptr;

private:
    QString m_group;
};

// "Выберите каталог": a folder; empty when cancelled.
class TGetDirForm : public QDialog {
    Q_OBJECT
public:
    TGetDirForm(QWidget *parent, const QString &start);
    // The chosen folder with "/" at its end.
    QString Directory() const;

    QTreeView *DirTree = nullptr;
    QPushButton *OKBtn = nullptr;
    QPushButton *CancelBtn = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// A folder asked through TGetDirForm; empty when cancelled. Tests and the
// batch uses put their own answer here.
extern std::function<QString(QWidget *parent)> AskDirectoryHook;
// The progress bar of an import, laid over the button panel it belongs to
// while the import runs; when the import ends, however it ends, the bar goes
// and `done` runs (the list is read again).
class TImportProgress {
public:
    TImportProgress(QProgressBar &bar, std::function<void()> done);
    ~TImportProgress();
    void Step(int done, int total);

private:
    QProgressBar &m_bar;
    std::function<void()> m_done;
};

// A folder for an export or import: through the hook when one is set, else
// TGetDirForm from the program directory; empty when cancelled.
QString AskDirectory(QWidget *parent);

// Fills the hook slots of F3, Shift+F3 and Ctrl+F3.
void InstallGridStates();
