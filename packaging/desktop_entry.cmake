# Writes the menu entry of a copy installed at CMAKE_INSTALL_PREFIX. Runs at
# install time: only then does `cmake --install --prefix` say where the
# program lies, and the entry must start it by its full path (an application
# folder is not on PATH).
#
# zorvane_install_desktop_entry(TEMPLATE STAGING APP_ID DESTINATION): the
# entry is made in a folder below STAGING of its own for each destination,
# so two installs at once never swap their entries, and installed into
# DESTINATION, under the prefix when relative.
function(zorvane_install_desktop_entry template staging app_id destination)
    # A prefix given relative to the folder cmake --install runs in.
    get_filename_component(program "${CMAKE_INSTALL_PREFIX}/zorvane" ABSOLUTE)
    if(program MATCHES "[\n\r\t]")
        message(FATAL_ERROR "A menu entry cannot name a program at ${program}")
    endif()
    # Exec holds one quoted argument: inside the quotes \ " ` $ take a
    # backslash, then the value's own string escaping doubles every
    # backslash, and % is the field-code sign.
    string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" quoted "${program}")
    string(REPLACE "\\" "\\\\" quoted "${quoted}")
    string(REPLACE "%" "%%" quoted "${quoted}")
    set(ZORVANE_DESKTOP_EXEC "\"${quoted}\"")
    set(ZORVANE_APP_ID "${app_id}")
    if(NOT IS_ABSOLUTE "${destination}")
        set(destination "${CMAKE_INSTALL_PREFIX}/${destination}")
    endif()
    string(MD5 folder "$ENV{DESTDIR}${destination}")
    set(entry "${staging}/${folder}/${app_id}.desktop")
    configure_file("${template}" "${entry}" @ONLY)
    file(INSTALL "${entry}" DESTINATION "${destination}")
endfunction()
