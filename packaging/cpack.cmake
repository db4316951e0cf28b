# The Debian package: cpack -G DEB in the build folder (scripts/package.sh).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kaviro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR Quorvel)
set(CPACK_PACKAGE_CONTACT "Quorvel <kaviro@quorvel.de>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Wohnungsangebote pflegen und als HTML-Seiten veröffentlichen")
# The summary above is the description's first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kaviro führt die Wohnungsangebote eines Vermieters in einer Datenbanktabelle
(SQLite oder PostgreSQL), erzeugt aus den aktiven Angeboten nach einer Vorlage
statische HTML-Seiten und überträgt sie per FTP auf den Webserver.
kaviro-publish erledigt dieselbe Arbeit ohne Fenster.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# shlibdeps finds the libraries; Qt loads the SQLite driver and the German
# standard buttons at run time, which no library dependency names.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, libqt6sql6-sqlite")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libqt6sql6-psql, libqt6sql6-odbc")
include(CPack)
