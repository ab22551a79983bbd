# Install time: writes Tavimor.desktop with its Exec= on the installed
# program, checks it with desktop-file-validate where that is installed, and
# installs it into BRENWICK_ENTRY_FOLDER. A user's own
# install (no DESTDIR) then tells the menus. Set by the install code:
# BRENWICK_ENTRY_TEMPLATE, _PROGRAM, _FOLDER, _STAGE, _VALIDATE.

# The Exec= value of one program path: quoted by the Exec rules when it holds
# a reserved character, then escaped as a desktop-entry string.
function(_brenwick_exec_value path out)
    string(REPLACE "%" "%%" p "${path}")
    set(quote FALSE)
    foreach(c " " "\t" "\n" "\"" "'" "\\" ">" "<" "~" "|" "&" "$" "*" "?" "#" "(" ")" "`")
        string(FIND "${p}" "${c}" at)
        if(at GREATER -1)
            set(quote TRUE)
        endif()
    endforeach()
    string(FIND "${p}" ";" at)
    if(at GREATER -1)
        set(quote TRUE)
    endif()
    if(quote)
        string(REPLACE "\\" "\\\\" p "${p}")
        string(REPLACE "\"" "\\\"" p "${p}")
        string(REPLACE "`" "\\`" p "${p}")
        string(REPLACE "$" "\\$" p "${p}")
        set(p "\"${p}\"")
    endif()
    string(REPLACE "\\" "\\\\" p "${p}")
    set(${out} "${p}" PARENT_SCOPE)
endfunction()

# The path as install() takes it: no "/./", and a backslash is a separator.
get_filename_component(_program "${BRENWICK_ENTRY_PROGRAM}" ABSOLUTE)
_brenwick_exec_value("${_program}" _exec)
file(READ "${BRENWICK_ENTRY_TEMPLATE}" _entry)
string(REPLACE "@EXEC@" "${_exec}" _entry "${_entry}")
# Written aside (the validator wants the .desktop name), then installed.
file(REMOVE_RECURSE "${BRENWICK_ENTRY_STAGE}")
file(WRITE "${BRENWICK_ENTRY_STAGE}/Tavimor.desktop" "${_entry}")
if(BRENWICK_ENTRY_VALIDATE)
    execute_process(COMMAND "${BRENWICK_ENTRY_VALIDATE}" "${BRENWICK_ENTRY_STAGE}/Tavimor.desktop"
        RESULT_VARIABLE _invalid)
    if(_invalid)
        message(FATAL_ERROR "The desktop entry does not pass desktop-file-validate; it is not installed.")
    endif()
endif()
# file(INSTALL) puts DESTDIR in front itself.
file(INSTALL "${BRENWICK_ENTRY_STAGE}/Tavimor.desktop" DESTINATION "${BRENWICK_ENTRY_FOLDER}")
if("$ENV{DESTDIR}" STREQUAL "")
    # Menus watch the folders; the cache only speeds them up.
    find_program(_update update-desktop-database)
    if(_update)
        execute_process(COMMAND "${_update}" -q "${BRENWICK_ENTRY_FOLDER}")
    endif()
    get_filename_component(_share "${BRENWICK_ENTRY_FOLDER}" DIRECTORY)
    if(EXISTS "${_share}/icons/hicolor")
        file(TOUCH_NOCREATE "${_share}/icons/hicolor")
    endif()
endif()
