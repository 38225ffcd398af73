# The manual pages docs/man/brindle.1 and its Japanese translation docs/man/ja/brindle.1 describe
# every option that `brindle --help` lists, and their synopses name the files the program takes.
# Run as cmake -DSRC=<project dir> -DPROGRAM=<brindle> -P check_manual.cmake.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND "${PROGRAM}" --help RESULT_VARIABLE status OUTPUT_VARIABLE help)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "brindle --help ended with ${status}")
endif()

# The option lines of the help: "  -h, --help  Displays ...".
string(REGEX MATCHALL "\n +-[^\n]*" option_lines "${help}")
set(options "")
foreach(line IN LISTS option_lines)
    string(REGEX MATCHALL "--?[a-zA-Z?][-a-zA-Z]*" names "${line}")
    list(APPEND options ${names})
endforeach()
list(LENGTH options count)
if(count LESS 4)
    message(FATAL_ERROR "only ${count} options found in:\n${help}")
endif()

# Each page with the headings that open and close its synopsis.
foreach(entry IN ITEMS "brindle.1|SYNOPSIS|DESCRIPTION" "ja/brindle.1|書式|説明")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 file)
    list(GET entry 1 synopsis_heading)
    list(GET entry 2 next_heading)
    file(READ "${SRC}/docs/man/${file}" page)

    set(broken "")
    foreach(option IN LISTS options)
        # In troff source a hyphen of an option is written \-; -v must not be found in --version.
        string(REPLACE "-" "\\\\-" troff "${option}")
        if(NOT page MATCHES "(^|[^-a-zA-Z])${troff}([^-a-zA-Z]|$)")
            string(APPEND broken "  ${option} is not described\n")
        endif()
    endforeach()
    string(FIND "${page}" ".SH ${synopsis_heading}\n" from)
    string(FIND "${page}" ".SH ${next_heading}\n" to)
    if(from EQUAL -1 OR to LESS from)
        string(APPEND broken "  no section ${synopsis_heading} before ${next_heading}\n")
        set(synopsis "")
    else()
        math(EXPR length "${to} - ${from}")
        string(SUBSTRING "${page}" ${from} ${length} synopsis)
    endif()
    foreach(name IN ITEMS JOB.xml MAILBOX.dbx)
        string(FIND "${synopsis}" "${name}" in_synopsis)
        string(FIND "${help}" "${name}" in_help)
        if(in_synopsis EQUAL -1 OR in_help EQUAL -1)
            string(APPEND broken "  ${name} is missing from the help or the synopsis\n")
        endif()
    endforeach()

    if(broken)
        message(FATAL_ERROR "docs/man/${file}:\n${broken}")
    endif()
endforeach()
