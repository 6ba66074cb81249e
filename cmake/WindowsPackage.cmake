# The program as Windows runs it, and its installer (cpack -G NSIS makes
# Tolvane-<version>-win64.exe).
#
# The application folder is the install folder: tolvane.exe with Qt's DLLs and
# plugins and the compiler's run-time DLLs beside it, and the settings and
# capture files that the program writes there. The installer therefore puts it
# where the operator may write without administrator rights,
# %LOCALAPPDATA%\Programs\Tolvane, with a Start menu entry and a shortcut in the
# Startup folder, so that the monitor starts at log-on.

# A window program: no console window comes up with it. Its icon is in its
# resources, for Explorer and the shortcuts.
set_target_properties(tolvane PROPERTIES WIN32_EXECUTABLE ON)
enable_language(RC)
target_sources(tolvane PRIVATE ${CMAKE_SOURCE_DIR}/resources/tolvane.rc)

# Each program carries a version resource (product, file version, company,
# description), so that Explorer's properties and the list of services show
# what runs.
set(TOLVANE_DESCRIPTION_tolvane "Tolvane server status monitor")
set(TOLVANE_DESCRIPTION_tolvane-service "Tolvane server status monitor without a window")
set(TOLVANE_DESCRIPTION_tolvane-check "Tolvane checks for monitoring engines")
foreach(TOLVANE_PROGRAM tolvane tolvane-service tolvane-check)
  set(TOLVANE_DESCRIPTION "${TOLVANE_DESCRIPTION_${TOLVANE_PROGRAM}}")
  configure_file(${CMAKE_SOURCE_DIR}/resources/version.rc.in
    ${CMAKE_BINARY_DIR}/${TOLVANE_PROGRAM}-version.rc @ONLY)
  target_sources(${TOLVANE_PROGRAM} PRIVATE ${CMAKE_BINARY_DIR}/${TOLVANE_PROGRAM}-version.rc)
endforeach()
# The service's message table, so that Event Viewer shows its events' texts
# (the installer names tolvane-service.exe as the source's message file).
target_sources(tolvane-service PRIVATE ${TOLVANE_EVENTS_RC})
target_include_directories(tolvane-service PRIVATE ${CMAKE_BINARY_DIR}/events)

# The compiler's run-time DLLs, which the program and Qt's DLLs load.
set(TOLVANE_RUNTIME_DLLS)
foreach(name libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
    OUTPUT_VARIABLE dll OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll}" OR NOT EXISTS "${dll}")
    message(FATAL_ERROR "${CMAKE_CXX_COMPILER} has no ${name}")
  endif()
  get_filename_component(dll ${dll} REALPATH)
  list(APPEND TOLVANE_RUNTIME_DLLS ${dll})
endforeach()

# Everything the program loads, and nothing more. Qt finds its plugins in the
# platforms/ and styles/ folders beside the program.
install(FILES ${TOLVANE_RUNTIME_DLLS} DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::Core Qt6::Gui Qt6::Widgets Qt6::Network
  RUNTIME DESTINATION . LIBRARY DESTINATION .)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin
  LIBRARY DESTINATION platforms RUNTIME DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin
  LIBRARY DESTINATION styles RUNTIME DESTINATION styles)
# TLS for the mail server, through Windows' own TLS (schannel) and its
# certificate store.
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QSchannelBackendPlugin
  LIBRARY DESTINATION tls RUNTIME DESTINATION tls)

# Qt's own words in Japanese (the boxes' buttons はい and いいえ): Qt's
# translation, which the program looks for in translations/ beside it. A .qm
# file is the same on every system, so it is the host's, from Debian's package
# qt6-translations-l10n. It also stands in the build folder, where tolvane.exe
# and the test programs run.
find_file(TOLVANE_QT_TRANSLATION qtbase_ja.qm PATHS /usr/share/qt6/translations
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TOLVANE_QT_TRANSLATION)
  message(FATAL_ERROR "Qt's translation qtbase_ja.qm (qt6-translations-l10n) is missing: "
    "scripts/setup.sh --windows-tools installs it")
endif()
configure_file(${TOLVANE_QT_TRANSLATION} ${CMAKE_BINARY_DIR}/translations/qtbase_ja.qm COPYONLY)
install(FILES ${TOLVANE_QT_TRANSLATION} DESTINATION translations)

# The operators' guide in Japanese (docs/guide.html and its pictures), which
# the Start menu entry "Tolvane の使い方" opens.
install(FILES ${TOLVANE_GUIDE_HTML} DESTINATION docs)
install(FILES ${TOLVANE_GUIDE_IMAGES} DESTINATION docs/images)

# The installer: per user, no administrator rights, Japanese pages. The NSIS
# script is packaging/windows/NSIS.template.in, which CPack fills in.
set(CPACK_GENERATOR NSIS)
set(CPACK_PACKAGE_NAME Tolvane)
set(CPACK_PACKAGE_VENDOR Velmora)
set(CPACK_PACKAGE_FILE_NAME Tolvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tolvane)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tolvane)
set(CPACK_NSIS_DISPLAY_NAME Tolvane)
set(CPACK_NSIS_PACKAGE_NAME Tolvane)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_SOURCE_DIR}/packaging/windows)
# The class of the main window's system window, by which the installer finds a
# running monitor: Qt names it after its version, and "Icon" for a window with
# an icon.
set(CPACK_TOLVANE_WINDOW_CLASS
  "Qt${Qt6_VERSION_MAJOR}${Qt6_VERSION_MINOR}${Qt6_VERSION_PATCH}QWindowIcon")
