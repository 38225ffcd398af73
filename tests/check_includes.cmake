# Checks the dependency graph: every "folder/file" include of a source folder must name a folder
# that the folder may use. Run as cmake -DSRC=<src dir> -P check_includes.cmake; fails listing
# every include that breaks the rules. A new folder must be added here before it may be used.
#
# The rules follow the link graph: a folder includes only from folders whose libraries its own
# library links, so that a wrong include fails here rather than as a link error somewhere else.
cmake_minimum_required(VERSION 3.25)

set(allowed_model    model platform)
set(allowed_platform platform)
set(allowed_charset  charset platform)
set(allowed_mailbox  mailbox model platform)
set(allowed_message  message model charset platform)
set(allowed_regexp   regexp platform)
set(allowed_match    match model regexp platform)
set(allowed_convert  convert model mailbox message platform)
set(allowed_settings settings model platform)
set(allowed_job      job convert settings match regexp model platform)
set(allowed_cli      cli job convert settings match regexp message mailbox charset model platform)
# The desktop program: dialogs and lists see the job and its checks, never a reader or a parser;
# start-up, the main window and the run's controller see the whole core and the dialogs.
set(allowed_ui       ui job convert settings match model platform)
set(allowed_app      app ui cli job convert settings match regexp message mailbox charset model
                     platform)

if(NOT SRC)
    message(FATAL_ERROR "call with -DSRC=<source folder>")
endif()

set(broken "")
file(GLOB folders LIST_DIRECTORIES true RELATIVE "${SRC}" "${SRC}/*")
foreach(folder IN LISTS folders)
    if(NOT IS_DIRECTORY "${SRC}/${folder}")
        continue()
    endif()
    if(NOT DEFINED allowed_${folder})
        string(APPEND broken "  ${folder}/: a folder without include rules\n")
        continue()
    endif()
    file(GLOB_RECURSE files "${SRC}/${folder}/*.cpp" "${SRC}/${folder}/*.hpp" "${SRC}/${folder}/*.h"
         "${SRC}/${folder}/*.in")
    foreach(file IN LISTS files)
        file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]*)\".*" "\\1" target "${line}")
            file(RELATIVE_PATH shown "${SRC}" "${file}")
            if(NOT target MATCHES "/")
                string(APPEND broken "  ${shown}: \"${target}\" names no folder\n")
                continue()
            endif()
            string(REGEX REPLACE "/.*" "" used "${target}")
            if(NOT used IN_LIST allowed_${folder})
                string(APPEND broken "  ${shown}: \"${target}\" (${folder}/ may not use ${used}/)\n")
            endif()
        endforeach()
    endforeach()
endforeach()

if(broken)
    message(FATAL_ERROR "includes that break the dependency rules:\n${broken}")
endif()
