#pragma once

// A run-time object that a script holds in an OBJECT value but cannot look
// into: an opened table, a nested report, a group, an office-application
// link. The report owns these objects; a holder only refers to one.
class TReportObject {
public:
    TReportObject() = default;
    TReportObject(const TReportObject &) = delete;
    TReportObject &operator=(const TReportObject &) = delete;
    virtual ~TReportObject();
};
