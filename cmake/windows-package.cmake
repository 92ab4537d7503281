# Writes the Windows zip; run by the windows-package target with cmake -P. Stages the files
# listed in FILES (each "source|path in the zip's folder", separated by commas), strips the
# binaries and zips the folder devconfig.
foreach(var STAGE ZIP STRIP FILES)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "windows-package: ${var} not given")
    endif()
endforeach()

string(REPLACE "," ";" FILES "${FILES}")
file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}/devconfig")
foreach(entry IN LISTS FILES)
    string(REPLACE "|" ";" parts "${entry}")
    list(GET parts 0 source)
    list(GET parts 1 destination)
    if(NOT EXISTS "${source}")
        message(FATAL_ERROR "windows-package: ${source} is missing")
    endif()
    get_filename_component(folder "${STAGE}/devconfig/${destination}" DIRECTORY)
    file(MAKE_DIRECTORY "${folder}")
    file(COPY_FILE "${source}" "${STAGE}/devconfig/${destination}")
endforeach()

file(GLOB_RECURSE binaries "${STAGE}/devconfig/*.exe" "${STAGE}/devconfig/*.dll")
foreach(binary IN LISTS binaries)
    execute_process(COMMAND "${STRIP}" --strip-unneeded "${binary}" RESULT_VARIABLE failed)
    if(failed)
        message(FATAL_ERROR "windows-package: cannot strip ${binary}")
    endif()
endforeach()

file(REMOVE "${ZIP}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${ZIP}" --format=zip devconfig
                WORKING_DIRECTORY "${STAGE}" RESULT_VARIABLE failed)
if(failed)
    message(FATAL_ERROR "windows-package: cannot write ${ZIP}")
endif()
message(STATUS "windows-package: ${ZIP}")
