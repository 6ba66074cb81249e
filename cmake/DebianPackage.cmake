# The Debian package: `cpack -G DEB` in the build folder (scripts/package-deb.sh)
# makes tolvane_<version>_<arch>.deb. It holds what `cmake --install` installs
# (the program, its listing helper, the icons and the log-in entry, in
# /opt/tolvane and /etc/xdg/autostart) and, only in the package, the service
# for servers without a display, the README, a changelog and lintian's override
# for /opt. The maintainer scripts make the service's user and give it the
# program's folder.

set(TOLVANE_DEB_DIR ${CMAKE_SOURCE_DIR}/packaging/debian)

# Only the package has the user that the unit runs as, so only the package gets
# the unit: a component that a plain install leaves out.
install(FILES ${TOLVANE_DEB_DIR}/tolvane.service
  DESTINATION /lib/systemd/system COMPONENT debian EXCLUDE_FROM_ALL)
# The README (the administrator's instructions) and the changelog, compressed
# as Debian's tools do it (-n: no name or time stamp, so the same bytes every time).
set(TOLVANE_DEB_CHANGELOG ${CMAKE_BINARY_DIR}/debian/changelog.gz)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/debian)
execute_process(COMMAND gzip -9nc ${TOLVANE_DEB_DIR}/changelog
  OUTPUT_FILE ${TOLVANE_DEB_CHANGELOG} COMMAND_ERROR_IS_FATAL ANY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${TOLVANE_DEB_DIR}/changelog)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${TOLVANE_DEB_CHANGELOG}
  DESTINATION /usr/share/doc/tolvane COMPONENT debian EXCLUDE_FROM_ALL)
# The operators' guide in Japanese with its pictures.
install(FILES ${TOLVANE_GUIDE_HTML}
  DESTINATION /usr/share/doc/tolvane COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${TOLVANE_GUIDE_IMAGES}
  DESTINATION /usr/share/doc/tolvane/images COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES ${TOLVANE_DEB_DIR}/lintian-overrides RENAME tolvane
  DESTINATION /usr/share/lintian/overrides COMPONENT debian EXCLUDE_FROM_ALL)
# One package of everything the plain install puts in, plus that component.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};${PROJECT_NAME};ALL;/"
  "${CMAKE_BINARY_DIR};${PROJECT_NAME};debian;/")

# The package always puts the program into /opt/tolvane, whatever folder the
# build was configured to install into; the unit and the maintainer scripts
# name that folder.
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/tolvane)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tolvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
# The file's name, which the package's tests look for: tolvane_2.0.0_amd64.deb.
execute_process(COMMAND dpkg --print-architecture
  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
set(TOLVANE_DEB_FILE
  ${CPACK_PACKAGE_NAME}_${PROJECT_VERSION}_${CPACK_DEBIAN_PACKAGE_ARCHITECTURE}.deb)
set(CPACK_DEBIAN_FILE_NAME ${TOLVANE_DEB_FILE})
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tolvane developers <tolvane@velmora.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries (Qt, the C++ run-time) come from the binaries through
# dpkg-shlibdeps; the Japanese font and adduser (the postinst uses it) are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, adduser")
# The service's user is not root, and systemctl answers such a user only over
# the system bus: without one the helper lists no running services. A mail
# server's certificate is checked against the system's store of CAs. Qt's own
# words (the boxes' buttons) are Japanese with Qt's translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
  "default-dbus-system-bus | dbus-system-bus, ca-certificates, qt6-translations-l10n")
# Summary line, then the long description: English, then Japanese.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "resident server monitor that mails status reports")
set(CPACK_PACKAGE_DESCRIPTION [=[
At the hours and the minute that the operator chooses, Tolvane checks the free
space of up to three drives, the free physical and swap memory, and whether
chosen services are running, writes a status report in Japanese and mails it
over plain SMTP. It starts at every graphical log-in, and as the systemd
service tolvane (installed, not enabled) on a server without a display.

オペレーターが指定した時刻に、最大 3 台のドライブの空き容量、物理メモリと
スワップの空き、指定したサービスの稼働状況を確認し、日本語の状態レポートを
SMTP でメール送信する常駐監視プログラムです。グラフィカルログイン時に起動し、
画面のないサーバーでは systemd サービス tolvane (インストールのみ、無効) と
して動作します。]=])
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${TOLVANE_DEB_DIR}/conffiles ${TOLVANE_DEB_DIR}/postinst
  ${TOLVANE_DEB_DIR}/prerm ${TOLVANE_DEB_DIR}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
