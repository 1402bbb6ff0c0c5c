# cpack -G DEB (in build/): the Debian package "quarn" of what
# `cmake --install` puts under /usr. Its library dependencies come from the
# programs themselves (dpkg-shlibdeps); what they load without linking it is
# named here: the Qt SQL drivers, the platform plugins (xcb for the windows,
# offscreen for quarn-report) and the fonts reports are measured with.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tessary Software")
set(CPACK_PACKAGE_CONTACT "${QUARN_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "SQLite and PostgreSQL databases: tables, SQL and reports")
# the extended description: CPack indents its lines and writes " ." for the
# empty one
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Quarn opens a database by its alias, shows its tables, fields and indexes,
views and edits tables in a searchable grid, runs SQL and prints reports
from text templates with a script language of their own. Its user
interface is in Russian.

The batch tool quarn-report runs a report template over a query and writes
the output file, or a PDF file, without windows.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUARN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION database)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, qt6-qpa-plugins, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
