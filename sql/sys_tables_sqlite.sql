-- The program's own tables for a SQLite database: report templates
-- (SYS_REPORT) and table states (SYS_GRIDS). Quarn never creates them; run
-- this script once in a database that should keep reports and states.

CREATE TABLE SYS_REPORT (
  RE_APP_NAM VARCHAR(60) NOT NULL,  -- application name
  RE_GRP_NAM VARCHAR(60) NOT NULL,  -- report group (the grid's identity)
  RE_RPT_NAM VARCHAR(60) NOT NULL,  -- report name
  RE_RPT_FMT TEXT,                  -- the template text
  RE_RPT_PRV VARCHAR(1),            -- 'Д': preview, 'Н': print at once
  RE_RPT_ORI VARCHAR(1),            -- 'L': landscape, 'P': portrait
  RE_RPT_ONE VARCHAR(1),            -- 'Д': run once, 'Н': walk the dataset
  RE_RPT_PRN VARCHAR(60),           -- output file; empty: report.prn
  PRIMARY KEY (RE_APP_NAM, RE_GRP_NAM, RE_RPT_NAM)
);

CREATE TABLE SYS_GRIDS (
  GR_APP_NAM VARCHAR(60) NOT NULL,  -- application name
  GR_GRD_NAM VARCHAR(60) NOT NULL,  -- the grid's identity
  GR_GRD_CMT VARCHAR(60) NOT NULL,  -- the state's title
  GR_GRD_SRH TEXT,                  -- search values
  GR_GRD_CHS TEXT,                  -- marks
  GR_GRD_BLD TEXT,                  -- query builder rows
  GR_GRD_ORD TEXT,                  -- the builder's ORDER BY list
  PRIMARY KEY (GR_APP_NAM, GR_GRD_NAM, GR_GRD_CMT)
);
