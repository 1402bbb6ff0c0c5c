#pragma once

#include "PageGeometry.h"
#include "script/ReportHost.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class TDataSet;
class TDataSource;
class TFunc;
class TCustomReport;

// The option bits of a report.
enum TReportOption { roOneRecord = 1, roOEMConvert = 2, roCopyMode = 4 };

using TReportNotify = std::function<void(TCustomReport &)>;
using TReportEnd = std::function<bool(TCustomReport &)>;

// A report component: the template, the output file name, the print
// settings, the data it walks and the event hooks; and the operations every
// kind of report offers. The one concrete kind is TKtReport.
class TCustomReport : public TReportHost {
public:
    TCustomReport();
    ~TCustomReport() override;

    // The dataset to walk (not owned).
    TDataSet *DataSet() const { return m_dataSet; }
    void SetDataSet(TDataSet *ds) { m_dataSet = ds; }
    // The template lines.
    const QStringList &FormatSource() const { return m_formatSource; }
    void SetFormatSource(const QStringList &lines) { m_formatSource = lines; }
    // The output file; a name without a directory is taken against the
    // program directory.
    const QString &PrintName() const { return m_printName; }
    void SetPrintName(const QString &name) { m_printName = name; }
    // The database alias of the template's SQL section.
    const QString &DataBaseName() const { return m_dataBaseName; }
    void SetDataBaseName(const QString &name) { m_dataBaseName = name; }
    // The master data source given to the queries the report prepares.
    TDataSource *DataSource() const { return m_dataSource; }
    void SetDataSource(TDataSource *ds) { m_dataSource = ds; }

    // After the current record's values were copied into the variables.
    TReportNotify OnSetValues;
    // Before the parameters of a query (the dataset given) or a stored
    // procedure (null) are bound.
    std::function<void(TCustomReport &, TDataSet *)> OnSetSQLParams;
    // After the standard variables and the field variables were declared.
    TReportNotify OnSetNames;
    // End-of-data test when no dataset is walked; true ends the run.
    TReportEnd OnEndReport;
    // After the built-in functions were registered.
    TReportNotify OnSetFuncs;

    TPageGeometry::Orientation Orientation() const { return m_orientation; }
    virtual void SetOrientation(TPageGeometry::Orientation o) { m_orientation = o; }
    int Copies() const { return m_copies; }
    void SetCopies(int n) { m_copies = n; }
    bool Option(TReportOption o) const { return m_options & o; }
    void SetOption(TReportOption o, bool on) { m_options = on ? (m_options | o) : (m_options & ~o); }
    bool OneRecord() const { return Option(roOneRecord); }
    void SetOneRecord(bool on) { SetOption(roOneRecord, on); }
    bool OEMConvert() const { return Option(roOEMConvert); }
    void SetOEMConvert(bool on) { SetOption(roOEMConvert, on); }
    bool CopyMode() const { return Option(roCopyMode); }
    void SetCopyMode(bool on) { SetOption(roCopyMode, on); }

    // The dataset to walk: TKtReport gives its SQL section's query when it
    // has one.
    virtual TDataSet *GetDataSet() { return m_dataSet; }
    // Adds a function record to the registry.
    virtual void AddFunc(std::unique_ptr<TFunc> func) = 0;
    // Compiles the template. The base version resets ErrorPos.
    virtual void Prepare() { SetErrorPos(-1); }
    // Runs the compiled template and writes the output file.
    virtual void Execute() = 0;
    // Every variable (name, description) and every function ("NAME()",
    // description), for the variable browser with its columns "Имя" and
    // "Описание".
    virtual QList<QPair<QString, QString>> ListNames() = 0;
    // The names that field references of the compiled template give but no
    // variable or field has (they print as a run of "!"), each once, in the
    // template's order.
    virtual QStringList UnknownFields() const { return {}; }
    // Shows the output file in the preview window, modally; prints it
    // without showing it. Both go through the preview hook that the viewer
    // installs; without a viewer they raise an error.
    virtual void Preview();
    virtual void Print();

    // Copies the settings that a caller shares with every report it starts
    // from another report: data source, database, output name, the five
    // handlers, the template, the options, orientation and copies.
    void AssignFrom(const TCustomReport &other);

private:
    TDataSet *m_dataSet = nullptr;
    QStringList m_formatSource;
    QString m_printName;
    QString m_dataBaseName;
    TDataSource *m_dataSource = nullptr;
    TPageGeometry::Orientation m_orientation = TPageGeometry::Portrait;
    int m_copies = 1;
    int m_options = roCopyMode;
};

// What a caller wants every report it starts to share. The storage windows
// also keep the report group, the name chosen last and the default name of
// a new report here; the report never reads those.
struct TReportParams {
    TDataSet *DataSet = nullptr;
    TDataSource *DataSource = nullptr;
    TReportNotify OnSetValues;
    std::function<void(TCustomReport &, TDataSet *)> OnSetSQLParams;
    TReportNotify OnSetNames;
    TReportNotify OnSetFuncs;
    TReportEnd OnEndReport;
    QString DataBaseName;
    QString PrintName;
    QString ReportGroup;
    QString LastReport;
    QString DefaultReportName;

    // Gives the report these fields (orientation, copies, options and
    // template stay as they are).
    void AssignTo(TCustomReport &report) const;
    // Takes the same fields from a report, the dataset through GetDataSet.
    void AssignFrom(TCustomReport &report);
};

// The report expert's choices: the kind of template, the fields of the
// report or the export and the fields of the totals line (by field name;
// absent lists: every visible field, currency fields totalled), the target
// table of an export and the title of a report.
struct TExpertParams {
    enum TKind { ekReport = 0, ekTable = 1, ekExcel = 2, ekWord = 3 };
    int Kind = ekReport;
    std::optional<QStringList> Fields;
    std::optional<QStringList> Totals;
    QString TableName;
    QString Title;
};

// The process-wide registry of report kinds.
struct TReportClass {
    QString Name;
    // Can this kind run the template? Asked before any instance exists.
    std::function<bool(const QStringList &lines)> AcceptsTemplate;
    std::function<std::unique_ptr<TCustomReport>()> Create;
};

void RegisterReportClass(TReportClass reportClass);
const QList<TReportClass> &ReportClasses();
// An instance of the first registered kind that accepts the template.
// Raises "Не подключено ни одного наследника от TCustomReport" with an
// empty registry and "Ошибка обработки отчета" when no kind accepts.
std::unique_ptr<TCustomReport> CreateReportFor(const QStringList &lines);
// An instance of the first registered kind.
std::unique_ptr<TCustomReport> CreateDefaultReport();

// The viewer's part in Preview and Print (installed by the preview window).
using TReportViewHook = std::function<void(TCustomReport &report, bool print)>;
TReportViewHook &ReportViewHook();
