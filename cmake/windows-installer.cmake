# Writes the Windows installer with makensis; run by the windows-installer target with
# cmake -P after the zip's folder is staged. Lists the staged files for the installer's File
# commands and, in reverse, for the uninstaller's Delete and RMDir commands, so that the
# uninstaller removes exactly what was installed.
foreach(var STAGE WORK INSTALLER MAKENSIS SCRIPT VERSION ICON)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "windows-installer: ${var} not given")
    endif()
endforeach()
if(NOT MAKENSIS)
    message(FATAL_ERROR "windows-installer: makensis not found; scripts/install-windows-deps "
                        "installs it (Debian package nsis)")
endif()

file(GLOB_RECURSE files RELATIVE "${STAGE}" "${STAGE}/*")
list(SORT files)
if(NOT files)
    message(FATAL_ERROR "windows-installer: nothing staged in ${STAGE}")
endif()

set(install "")
set(uninstall "")
set(folders "")
set(current_folder "-")
foreach(file IN LISTS files)
    get_filename_component(folder "${file}" DIRECTORY)
    string(REPLACE "/" "\\" windows_file "${file}")
    string(REPLACE "/" "\\" windows_folder "${folder}")
    if(NOT folder STREQUAL current_folder)
        set(current_folder "${folder}")
        if(folder)
            string(APPEND install "SetOutPath \"$INSTDIR\\${windows_folder}\"\n")
            list(APPEND folders "${windows_folder}")
        else()
            string(APPEND install "SetOutPath \"$INSTDIR\"\n")
        endif()
    endif()
    string(APPEND install "File \"${STAGE}/${file}\"\n")
    string(APPEND uninstall "Delete \"$INSTDIR\\${windows_file}\"\n")
endforeach()
# Deepest folders first.
list(REMOVE_DUPLICATES folders)
list(SORT folders)
list(REVERSE folders)
foreach(folder IN LISTS folders)
    string(APPEND uninstall "RMDir \"$INSTDIR\\${folder}\"\n")
endforeach()

file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/install.nsh" "${install}")
file(WRITE "${WORK}/uninstall.nsh" "${uninstall}")
file(REMOVE "${INSTALLER}")
execute_process(
    COMMAND "${MAKENSIS}" -V2 -NOCD "-DVERSION=${VERSION}" "-DOUTFILE=${INSTALLER}"
            "-DICON=${ICON}" "-DINSTALL=${WORK}/install.nsh" "-DUNINSTALL=${WORK}/uninstall.nsh"
            "${SCRIPT}"
    RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "windows-installer: makensis failed")
endif()
message(STATUS "windows-installer: ${INSTALLER}")
