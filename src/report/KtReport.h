#pragma once

#include "CustomReport.h"
#include "PageGeometry.h"
#include "PrintCodes.h"
#include "ReportLine.h"
#include "ReportWriter.h"
#include "TextMeasurer.h"

#include "data/DataSet.h"
#include "script/Commands.h"
#include "script/FuncList.h"
#include "script/ReportObject.h"
#include "script/VarList.h"
#include "script/VarStack.h"

#include <array>
#include <deque>
#include <memory>
#include <optional>
#include <vector>

class TQuery;
class TStoredProc;
class TParam;
class TTextMeasurer;
class TNestedReport;

// The report component that runs text templates: sections of literal lines
// with field references and script blocks (compiled by Prepare, run by
// Execute over the records of a dataset), group levels with totals, and an
// output file measured in printer pixels with page breaks, page footers and
// headers.
class TKtReport : public TCustomReport, private TReportWriter::TPages {
public:
    TKtReport();
    ~TKtReport() override;

    // True when a line of the template names one of the six main sections,
    // or when this is the only kind of report registered.
    static bool AcceptsTemplate(const QStringList &lines);

    // The 0-based indexes of the "." lines that name no section: such a
    // section is dropped with its lines, which a tool should tell the user.
    static QList<int> UnknownSectionLines(const QStringList &lines);

    // The report that runs a script: the functions that reach their report
    // through the host they are given.
    static TKtReport &Of(TReportHost &host);

    // TReportHost
    TReportVar *FindVar(const QString &name) override;
    TReportVar &GetVar(const QString &name) override;
    TFunc *FindFunc(const QString &name) override;
    bool IsEndMode() const override { return m_endMode; }
    void PutLine(const QString &line) override;
    void AddOutputAlias(const QString &alias, const QString &replacement) override;

    // TCustomReport
    void SetOrientation(TPageGeometry::Orientation o) override;
    TDataSet *GetDataSet() override;
    void AddFunc(std::unique_ptr<TFunc> func) override;
    void Prepare() override;
    void Execute() override;
    QList<QPair<QString, QString>> ListNames() override;

    // Declares a variable (GetVar) and gives it a description when one is
    // given.
    TReportVar &DeclareVar(const QString &name, const QString &description = QString());
    // Binds a query's parameters from the variables of the same names.
    void BindQueryParams(TQuery &query);
    void BindProcParams(TStoredProc &proc);
    void BindParam(TParam &param);
    // Gives another report this report's variables (the OnSetNames handler
    // of a nested report).
    void CopyVarsTo(TCustomReport &other);
    // Runs the nested report that `variable` holds (Include): Prepare, run
    // once when it has no dataset to walk, Execute, and load its output file
    // into the object's memo (emptied when no file was written). Returns the
    // object, or none when the variable holds no nested report; a variable
    // of another type than OBJECT is left alone.
    TNestedReport *RunSubReport(TReportVar &variable);

    // Keeps an object created by a script until the next Prepare.
    template <class T>
    T &AddRunObject(std::unique_ptr<T> object)
    {
        T &ref = *object;
        m_runObjects.push_back(std::move(object));
        return ref;
    }

    // The page geometry (the virtual printer unless set) and the text
    // measurer (real fonts when a QGuiApplication runs, else fixed pitch
    // unless set). Take effect at the next Prepare.
    void SetPageGeometry(std::shared_ptr<TPageGeometry> geometry) { m_geometry = std::move(geometry); }
    void SetMeasurer(std::unique_ptr<TTextMeasurer> measurer) { m_measurer = std::move(measurer); }
    TTextMeasurer &Measurer() { return *m_measurer; }
    int PageHeight() const { return m_pageHeight; }
    int PageWidth() const { return m_pageWidth; }
    // The usable height: the page less the page-footer lines.
    int UsableHeight() const { return m_writer.UsableHeight(); }

    // Writes a template for the report's dataset into FormatSource: a
    // columnar listing with headings, title and totals, a copy into a local
    // table, or an export to the spreadsheet or word processor. Does nothing
    // without a dataset.
    void BuildExpertTemplate(const TExpertParams &params);

    // The compiled command lists of every section, for template authors.
    QStringList Listing() const;
    QStringList UnknownFields() const override { return m_unknownFields; }

    // Command lists of the sections: 1-16 the group footers, then these.
    enum { clVars = 17, clReportHeader = 18, clPostDetail = 19, clDetail = 20 };
    // The main sections.
    enum { msReportHeader, msPageHeader, msRecordHeader, msPageFooter, msDetail, msReportFooter };

private:
    using TLineList = std::vector<std::unique_ptr<TReportLine>>;
    struct TSection;
    struct TCompiler;

    void reset();
    void declareStandardVars();
    void compileTemplate();
    void applyOptions();
    void moveGroupPairs();
    void openSqlQuery();
    TCommandList &commandList(int n);
    void runCommands(int n);
    bool hasLines(const std::unique_ptr<TLineList> &l) const { return l && !l->empty(); }

    // records and sections
    void cacheLookups();
    void processRecord();
    void copyRecord();
    bool rejected() const;
    void endOfReport();
    void printSection(TLineList *lines, int mainSection = -1);
    void printGroupHeaders(int from);
    void printFooters(int from, int to);
    int groupBreak() const;
    void accumulate();

    // line output
    void expandLine(TReportLine &line);
    int valueCount(TReportField &f);
    // the field's next value, formatted and padded, appended to the line
    void appendValueText(QString &out, TReportField &f);
    // the same written in place for a plain number or text; false, doing
    // nothing, for any other value
    class TLineBuilder;
    bool writeValueText(TLineBuilder &line, TReportField &f);
    double numberValue(TReportField &f);
    bool footerModeFor(const TReportField &f) const;
    void countLine();
    void finish(bool walked, TDataSet *ds, TBookmark &bookmark);
    void restoreDataSet(bool walked, TDataSet *ds, TBookmark &bookmark);
    void postProcess();

    // TReportWriter::TPages
    bool HasPageHeader() const override { return hasLines(m_main[msPageHeader]); }
    bool HasPageFooter() const override { return hasLines(m_main[msPageFooter]); }
    void PrintPageFooter() override;
    void PrintPageHeader() override;
    void UncountLine() override;

    // compile and run state
    TVarList m_vars;
    TParamList m_params;
    TFuncList m_funcs;
    TVarStack m_stack;
    std::array<std::unique_ptr<TLineList>, 6> m_main;
    std::array<std::unique_ptr<TLineList>, 17> m_headers;   // 2..16
    std::array<std::unique_ptr<TLineList>, 17> m_footers;   // 1..16
    // the footer fields that total or count, gathered by accumulate()
    std::vector<TReportField *> m_totalFields;
    bool m_totalFieldsFound = false;
    std::array<std::unique_ptr<TCommandList>, 21> m_commands;   // 1..20
    std::unique_ptr<TQuery> m_sqlQuery;
    QList<std::pair<QString, QString>> m_aliases;
    std::vector<std::unique_ptr<TReportObject>> m_runObjects;
    TReportVar *m_fileName = nullptr;
    TReportVar *m_pageNum = nullptr;
    TReportVar *m_recNum = nullptr;
    TReportVar *m_lineNum = nullptr;
    TReportVar *m_invalid = nullptr;
    QStringList m_unknownFields;
    TReportVar *m_filtr = nullptr;
    // looked up once per run: the group break variables and the variables
    // that receive the fields of the walked dataset, with the type each
    // takes its field's values as
    struct TFieldVar {
        TField *Field;
        TReportVar *Var;
        TVarType Type;
    };
    std::array<TReportVar *, 17> m_groupVars{};
    std::vector<TFieldVar> m_fieldVars;

    // modes
    bool m_firstDone = false;
    bool m_headerScriptDone = false;
    bool m_detailMode = false;
    bool m_footerMode = false;
    bool m_groupHeaderMode = false;
    bool m_endMode = false;
    bool m_pageFooterPrinted = false;

    // pages
    std::shared_ptr<TPageGeometry> m_geometry;
    std::unique_ptr<TTextMeasurer> m_measurer;
    int m_pageHeight = 0;
    int m_pageWidth = 0;
    std::deque<QString> m_lineBuffers;   // expandLine's, by depth
    size_t m_expandDepth = 0;

    // output
    TReportWriter m_writer{*this};
    QStringList m_earlyLines;   // lines put before the output was open
};

// A report that a script included (Include): the nested report component and
// the lines of its last output. Lives among the calling report's run objects.
class TNestedReport : public TReportObject {
public:
    TKtReport Report;
    QStringList Memo;
};
