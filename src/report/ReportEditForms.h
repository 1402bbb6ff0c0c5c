#pragma once

#include "CustomReport.h"

#include "data/DataSet.h"
#include "data/Query.h"
#include "grid/RecordLinks.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class TDicButton;
class TSearchDBGrid;

// "Редактирование шаблона отчета": one stored report, its group, name,
// orientation, preview and one-record flags, output file and template,
// edited through a record link; "&Просмотр" runs the text as it stands.
class TRptEditForm : public TPtEditForm {
    Q_OBJECT
public:
    TRptEditForm(QWidget *parent, const TReportParams &params);
    ~TRptEditForm() override;

    void ReadClick();
    void WriteClick();
    void PreviewClick();
    void ExpertClick();
    // Ctrl and the keypad "+" in the template: a name of the report's
    // variables and functions pasted at the caret.
    void ChooseObject();

    TQuery EditQuery;
    TDataSource EditSource;
    TPtDBLink *DBLink = nullptr;
    QLineEdit *GroupEdit = nullptr;
    TDicButton *GroupBtn = nullptr;
    QLineEdit *NameEdit = nullptr;
    QComboBox *OrientBox = nullptr;
    QCheckBox *PreviewBox = nullptr;
    QCheckBox *OneRecordBox = nullptr;
    QLineEdit *OutputEdit = nullptr;
    QPlainTextEdit *TemplateText = nullptr;
    QPushButton *ReadBtn = nullptr, *WriteBtn = nullptr, *PreviewBtn = nullptr, *ExpertBtn = nullptr;
    QPushButton *SaveBtn = nullptr, *AddBtn = nullptr, *CancelBtn = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void loadFlags();
    void writeFlag(const QString &field, const QString &value);

    TReportParams m_params;
    int m_objectRow = 0;      // the object chosen last
    bool m_loading = false;   // the boxes follow the record: no writing back
};

// "Редактор отчетов": the stored reports of a group (or of all groups),
// edited one at a time, written to and read from a folder of ".FMT" files.
class TChoiceEditRptForm : public QDialog {
    Q_OBJECT
public:
    TChoiceEditRptForm(QWidget *parent, const TReportParams &params);
    ~TChoiceEditRptForm() override;

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
    QPushButton *ExportBtn = nullptr, *ImportBtn = nullptr, *EditBtn = nullptr, *AddBtn = nullptr,
                *DeleteBtn = nullptr, *ExitBtn = nullptr;
    QProgressBar *Progress = nullptr;
    TRptEditForm *EditForm = nullptr;
    TPtFormLink *FormLink = nullptr;

private:
    TReportParams m_params;
};
