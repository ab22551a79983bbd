# The program in the desktop's application menu: the desktop entry
# Tavimor.desktop and the icon "tavimor" in the hicolor theme (scalable, and
# 16 to 256 pixels rendered from resources/ovak.svg at build time), under
# CMAKE_INSTALL_DATADIR, install component "desktop".
#   brenwick_install_desktop(PROGRAM_DIR)
# PROGRAM_DIR holds the executable Brenwick; relative, it lies under the
# install prefix, which is taken when installing (cmake --install --prefix).
set(_brenwick_desktop_dir "${CMAKE_CURRENT_LIST_DIR}")
find_program(BRENWICK_RSVG_CONVERT rsvg-convert REQUIRED) # librsvg2-bin
find_program(BRENWICK_DESKTOP_FILE_VALIDATE desktop-file-validate) # desktop-file-utils

# A text as a quoted CMake argument holds it, for code run at install time.
function(_brenwick_literal text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    string(REPLACE "$" "\\$" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(brenwick_install_desktop program_dir)
    get_filename_component(_source "${_brenwick_desktop_dir}/.." ABSOLUTE)
    set(_icons "${CMAKE_INSTALL_DATADIR}/icons/hicolor")
    set(_pngs)
    foreach(size 16 32 48 256)
        set(_png "${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}/tavimor.png")
        add_custom_command(OUTPUT "${_png}"
            COMMAND ${CMAKE_COMMAND} -E make_directory "${CMAKE_CURRENT_BINARY_DIR}/icons/${size}x${size}"
            COMMAND "${BRENWICK_RSVG_CONVERT}" -w ${size} -h ${size}
                "${_source}/resources/ovak.svg" -o "${_png}"
            DEPENDS "${_source}/resources/ovak.svg" VERBATIM)
        list(APPEND _pngs "${_png}")
        install(FILES "${_png}" DESTINATION "${_icons}/${size}x${size}/apps" COMPONENT desktop)
    endforeach()
    add_custom_target(brenwick_icons ALL DEPENDS ${_pngs})
    install(FILES "${_source}/resources/ovak.svg" DESTINATION "${_icons}/scalable/apps"
        RENAME tavimor.svg COMPONENT desktop)

    # The entry names the installed executable, so it is written when installing.
    _brenwick_literal("${program_dir}" _program)
    if(NOT IS_ABSOLUTE "${program_dir}")
        set(_program "\${CMAKE_INSTALL_PREFIX}/${_program}")
    endif()
    _brenwick_literal("${CMAKE_INSTALL_DATADIR}" _apps)
    if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_DATADIR}")
        set(_apps "\${CMAKE_INSTALL_PREFIX}/${_apps}")
    endif()
    _brenwick_literal("${_source}/resources/Tavimor.desktop.in" _template)
    _brenwick_literal("${CMAKE_CURRENT_BINARY_DIR}/desktop-entry" _stage)
    _brenwick_literal("${BRENWICK_DESKTOP_FILE_VALIDATE}" _validate)
    _brenwick_literal("${_brenwick_desktop_dir}/WriteDesktopEntry.cmake" _script)
    install(CODE "
        set(BRENWICK_ENTRY_TEMPLATE \"${_template}\")
        set(BRENWICK_ENTRY_PROGRAM \"${_program}/Brenwick\")
        set(BRENWICK_ENTRY_FOLDER \"${_apps}/applications\")
        set(BRENWICK_ENTRY_STAGE \"${_stage}\")
        set(BRENWICK_ENTRY_VALIDATE \"${_validate}\")
        include(\"${_script}\")
    " COMPONENT desktop)
endfunction()
