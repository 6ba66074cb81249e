# The Windows build's tests run under Wine (cmake/wine-emulator.sh, the
# toolchain's emulator) in a Wine prefix of their own under the build folder,
# in the Japanese locale (code page 932). Included by tests/CMakeLists.txt.
#
# Sets WINE_TEST_ENVIRONMENT, what every test under Wine needs, and adds the
# programs and runs that only the Windows build has.

set(WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# A drive letter whose folder does not exist: the nearest Wine has to a drive
# that is not ready.
set(UNREADY_DRIVE Q)

# The test programs load Qt's and the compiler's DLLs from where they are (the
# emulator makes these folders Wine's addition to PATH, which the programs
# they start inherit); the installed program has them beside it instead.
set(dll_dirs "$<TARGET_FILE_DIR:Qt6::Core>")
foreach(dll ${TOLVANE_RUNTIME_DLLS})
  get_filename_component(dir ${dll} DIRECTORY)
  get_filename_component(dir ${dir} REALPATH)
  string(APPEND dll_dirs ":${dir}")
endforeach()
# Qt's offscreen platform on Windows takes its fonts from one folder, not from
# the system: the Japanese font of the Linux tests (fonts-ipafont-gothic), on
# Wine's drive Z:.
find_path(TEST_FONT_DIR ipag.ttf PATHS /usr/share/fonts/opentype/ipafont-gothic
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(NOT TEST_FONT_DIR)
  message(FATAL_ERROR "IPAGothic (fonts-ipafont-gothic) is missing: scripts/setup.sh installs it")
endif()
set(WINE_TEST_ENVIRONMENT
  TOLVANE_UNDER_WINE=1
  TOLVANE_WINEPREFIX=${WINEPREFIX}
  TOLVANE_WINE_DLL_DIRS=${dll_dirs}
  TOLVANE_UNREADY_DRIVE=${UNREADY_DRIVE}
  QT_QPA_FONTDIR=Z:${TEST_FONT_DIR})

add_test(NAME wine_prefix
  COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/prepare-prefix.sh ${UNREADY_DRIVE})
set_tests_properties(wine_prefix PROPERTIES
  FIXTURES_SETUP wine
  LABELS windows
  ENVIRONMENT "TOLVANE_WINEPREFIX=${WINEPREFIX}"
  # The first start of a new prefix sets the whole of it up.
  TIMEOUT 150)

# Stands beside the test programs under the interpreter's name, where a
# search for a bare "cmd.exe" would find it first (tst_WindowsServices).
add_executable(win_decoy ${CMAKE_CURRENT_LIST_DIR}/win_decoy.cpp)
set_target_properties(win_decoy PROPERTIES OUTPUT_NAME cmd)

# The fixture of the end-to-end run: net.exe, which lists services as Windows
# in Japanese does.
add_executable(fake_net ${CMAKE_CURRENT_LIST_DIR}/fake_net.cpp)
foreach(target win_decoy fake_net)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endforeach()

# The real program end to end (tst_WindowsInstall.py), on an X server and in a
# Wine prefix of its own for programs with windows: installed by its
# installer, compared with the installed set of files (windows_stage); it
# takes port 25 of 127.0.0.93, where the program mails.
set(STAGE ${CMAKE_BINARY_DIR}/stage)
add_test(NAME windows_stage
  COMMAND sh -c "rm -rf \"$1\" && \"$2\" --install \"$3\" --prefix \"$1\""
          stage ${STAGE} ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
add_test(NAME windows_package
  COMMAND ${CMAKE_CPACK_COMMAND} -G NSIS --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(windows_stage windows_package PROPERTIES
  FIXTURES_SETUP e2e LABELS windows-gui TIMEOUT 300)
# The scheduled send of the service waits for the next minute but one at the most.
add_e2e_test(windows_e2e windows/tst_WindowsInstall.py TIMEOUT 600
  ENV TOLVANE_INSTALLER=${CMAKE_BINARY_DIR}/Tolvane-${PROJECT_VERSION}-win64.exe
      TOLVANE_PROGRAM_DIR=${STAGE} TOLVANE_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}
      TOLVANE_DESKTOP_PREFIX=${CMAKE_BINARY_DIR}/wineprefix-desktop
      TOLVANE_NET=$<TARGET_FILE:fake_net>)
set_tests_properties(windows_e2e PROPERTIES FIXTURES_REQUIRED e2e LABELS windows-gui)
