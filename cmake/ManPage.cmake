# Writes a manual page (section 1) from a program's --help text, so that the page says exactly
# what the program says about itself. Run as a script:
#
#   cmake -DPROGRAM=<executable> -DNAME=<program name> -DSUMMARY=<one line> -DVERSION=<version>
#         -DOUTPUT=<file.1> -P ManPage.cmake

foreach(var PROGRAM NAME SUMMARY VERSION OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "ManPage.cmake needs -D${var}=...")
    endif()
endforeach()

execute_process(COMMAND ${PROGRAM} --help
                OUTPUT_VARIABLE help RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0 OR help STREQUAL "")
    message(FATAL_ERROR "${PROGRAM} --help failed (${status}): ${errors}")
endif()

# The usage line names the program as it was started; the page names it as it is installed.
string(REPLACE "${PROGRAM}" "${NAME}" help "${help}")
# roff: a backslash is written \e; a minus \-, so that options copied from the page keep a
# plain minus; a line that starts with a dot or an apostrophe would be read as a request, \& in
# front keeps it text.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
string(TOUPPER "${NAME}" title)
string(REPLACE "-" "\\-" name_roff "${NAME}")

set(others "")
foreach(page zr40-panel zr40-sim zr40ctl)
    if(NOT page STREQUAL NAME)
        string(REPLACE "-" "\\-" page_roff "${page}")
        string(APPEND others ".BR ${page_roff} (1)\n")
    endif()
endforeach()

file(WRITE ${OUTPUT}
".TH ${title} 1 \"\" \"zr40-panel ${VERSION}\" \"User Commands\"
.SH NAME
${name_roff} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH SEE ALSO
${others}")
