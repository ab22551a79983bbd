# The Debian package (scripts/package): CPack's DEB generator over the install
# components "program", "desktop" and "packaged"; "data" (a plan list beside
# the program) stays out, for a package's program folder is not the user's
# to write. "packaged" is installed by the package alone (never by a plain
# `cmake --install`): the marker that moves the user's data to
# $XDG_DATA_HOME/Tavimor, the commands brenwick and brenwick-ics on PATH, and
# the package's documents. scripts/package configures a build of its own with
# the prefix /usr and the program folder /opt/Brenwick.

# The data's folder under the user's data home, beside ~/.config/Tavimor.
set(BRENWICK_DATA_FOLDER "Tavimor")
file(CONFIGURE OUTPUT "${PROJECT_BINARY_DIR}/packaged/data-folder"
    CONTENT "${BRENWICK_DATA_FOLDER}\n")
install(FILES "${PROJECT_BINARY_DIR}/packaged/data-folder" DESTINATION "${BRENWICK_PROGRAM_DIR}"
    COMPONENT packaged EXCLUDE_FROM_ALL)

# Lower case on PATH, as commands are; the links lead to the program folder,
# where each finds the marker beside itself.
_brenwick_literal("${BRENWICK_PROGRAM_DIR}" _program)
if(NOT IS_ABSOLUTE "${BRENWICK_PROGRAM_DIR}")
    set(_program "\${CMAKE_INSTALL_PREFIX}/${_program}")
endif()
_brenwick_literal("${CMAKE_INSTALL_BINDIR}" _bin)
if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}")
    set(_bin "\${CMAKE_INSTALL_PREFIX}/${_bin}")
endif()
install(CODE "
    set(_bin \"\$ENV{DESTDIR}${_bin}\")
    file(MAKE_DIRECTORY \"\${_bin}\")
    foreach(_pair brenwick=Brenwick brenwick-ics=brenwick-ics)
        string(REPLACE \"=\" \";\" _pair \"\${_pair}\")
        list(GET _pair 0 _name)
        list(GET _pair 1 _target)
        file(CREATE_LINK \"${_program}/\${_target}\" \"\${_bin}/\${_name}\" SYMBOLIC)
        message(STATUS \"Installing: \${_bin}/\${_name} -> ${_program}/\${_target}\")
    endforeach()
" COMPONENT packaged EXCLUDE_FROM_ALL)

# The documents every package carries: the copyright and its changelog,
# compressed without a time stamp.
set(_changelog "${PROJECT_BINARY_DIR}/packaged/changelog.Debian")
string(TIMESTAMP _date "%a, %d %b %Y %H:%M:%S +0000" UTC) # honours SOURCE_DATE_EPOCH
set(BRENWICK_PACKAGE_MAINTAINER "时雀 maintainers <maintainers@shique.example.org>" CACHE STRING
    "The package's Maintainer field")
set(BRENWICK_PACKAGE_RELEASE 1 CACHE STRING "The package's own revision of the program's version")
file(CONFIGURE OUTPUT "${_changelog}" CONTENT
"brenwick (${PROJECT_VERSION}-${BRENWICK_PACKAGE_RELEASE}) unstable; urgency=medium

  * 时雀 ${PROJECT_VERSION}.

 -- ${BRENWICK_PACKAGE_MAINTAINER}  ${_date}
")
find_program(BRENWICK_GZIP gzip)
add_custom_command(OUTPUT "${_changelog}.gz"
    COMMAND "${BRENWICK_GZIP}" -9nf -k "${_changelog}"
    DEPENDS "${_changelog}" VERBATIM)
add_custom_target(brenwick_package_documents ALL DEPENDS "${_changelog}.gz")
install(FILES "${PROJECT_SOURCE_DIR}/packaging/copyright" "${_changelog}.gz"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/brenwick" COMPONENT packaged EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brenwick)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "时雀")
set(CPACK_PACKAGE_CONTACT "${BRENWICK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_RELEASE "${BRENWICK_PACKAGE_RELEASE}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_STRIP_FILES ON)
# Exec= and the links name the installed system's folders, not CPack's stage.
set(CPACK_SET_DESTDIR ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "${CMAKE_INSTALL_PREFIX}")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL program desktop packaged)
# The libraries linked, found by dpkg-shlibdeps (the sound module's Qt
# Multimedia among them), and what is loaded at run time: the toolkit's SVG
# icon engine (the tray and window icons), a CJK font (every text is Chinese);
# recommended, the toolkit's translations, its Wayland platform (a session
# without X), the sound theme's alert through libcanberra and a sound server;
# suggested, a keyring for the sync's password.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6svg6, fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n, qt6-wayland, libcanberra0, \
libcanberra-pulse, sound-theme-freedesktop, pipewire-pulse | pulseaudio")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "desktop schedule assistant with a Chinese interface
时雀 lives in the system tray with a narrow, always-on-top window that lists
today's, tomorrow's and later schedules. It adds single schedules and
repeated series, reminds you ahead of them with a window, a sound and a
desktop notification, lets you browse and query every schedule, and keeps
one work note per day. brenwick-ics exchanges schedules with other calendars
as iCalendar files.
.
时雀是一个桌面日程助手：常驻系统托盘，以一个窄小、总在最前的窗口列出今天、
明天和以后的日程；可以添加单个日程和重复的日程，到时用窗口、声音和桌面通知
提醒，可以浏览和查询所有日程，每天记一篇工作笔记。
.
Your data lives in ~/.local/share/Tavimor, the settings in ~/.config/Tavimor.")
include(CPack)
