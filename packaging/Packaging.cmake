# Install rules for the desktop files and manual pages, and the CPack settings of the
# Debian package `velloria` (cpack -G DEB). Included last by the top-level CMakeLists.txt.

install(FILES ${CMAKE_CURRENT_LIST_DIR}/velloria.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/velloria.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_SOURCE_DIR}/docs/man/velloria.1 ${CMAKE_SOURCE_DIR}/docs/man/xbtool.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME velloria)
set(CPACK_PACKAGE_VENDOR "Velloria developers")
set(CPACK_PACKAGE_CONTACT "Velloria developers <velloria@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "manager of an office's Word documents by category")
set(CPACK_PACKAGE_DESCRIPTION
    "Velloria shows the document categories of an office, read from the xBase table\n"
    "STAMPE.DBF, and the Word documents of the chosen category's folder, which it opens,\n"
    "deletes, duplicates and renames. Includes the xBase engine library libxbengine.so\n"
    "and xbtool, the command-line tool for dBase tables.")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Library dependencies (Qt, the C++ runtime) come from the binaries themselves; the
# engine library is private to the package and found through the programs' RUNPATH.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/lib)
# Tahoma: the window is laid out for its metrics; with the wider fallback font the left
# panel grows so that its texts fit, and the document list loses that width.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wine")
# The icon theme of the document list, the MIME descriptions ("Word document"), Qt's own
# texts in the system language and the desktop's opener (xdg-open, for double-click); the
# program runs without them, looking plainer, showing Qt's texts in English, or opening
# only word-processor documents on double-click.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme, shared-mime-info, qt6-translations-l10n, xdg-utils")
include(CPack)
