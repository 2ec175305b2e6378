# Writes a man page from a program's --help text, so the page says what --help
# says. Run with cmake -P and:
#   NAME     the program's name       SUMMARY  one line for NAME
#   OUTPUT   the page to write        VERSION  the program's version
#   PROGRAM  the program to run with --help, or
#   HELPFILE a file holding text of the same shape
# The shape: "Usage: ..." first (the synopsis), then paragraphs; a line
# "Heading:" opens a section, a line indented by two spaces names an item and
# lines indented further describe it.
if(PROGRAM)
  # No keyring and no real preference folder for a build step.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                          DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent
                          XDG_CONFIG_HOME=${SCRATCH} HOME=${SCRATCH} ${PROGRAM} --help
                  OUTPUT_VARIABLE help ERROR_VARIABLE errors RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed: ${rc}\n${errors}")
  endif()
else()
  file(READ ${HELPFILE} help)
endif()

function(roff_escape text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  # A line must not start with a control character.
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" upper)
# Honours SOURCE_DATE_EPOCH, for reproducible packages.
string(TIMESTAMP today "%Y-%m-%d" UTC)
set(page ".TH ${upper} 1 \"${today}\" \"Lumbra ${VERSION}\" \"User Commands\"\n.SH NAME\n${NAME} \\- ${SUMMARY}\n")
string(REPLACE ";" "\\;" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
# A blank line ends a paragraph; the next plain line starts a new one (headings
# and items start their own).
set(paragraph_ended OFF)
foreach(line IN LISTS lines)
  if(line MATCHES "^Usage: (.*)$")
    roff_escape("${CMAKE_MATCH_1}" synopsis)
    string(APPEND page ".SH SYNOPSIS\n.B ${synopsis}\n.SH DESCRIPTION\n")
  elseif(line STREQUAL "")
    set(paragraph_ended ON)
  elseif(line MATCHES "^([A-Z][A-Za-z ]*):$")
    string(TOUPPER "${CMAKE_MATCH_1}" heading)
    string(APPEND page ".SH ${heading}\n")
    set(paragraph_ended OFF)
  elseif(line MATCHES "^      +(.*)$")
    roff_escape("${CMAKE_MATCH_1}" body)
    string(APPEND page "${body}\n")
  elseif(line MATCHES "^  (.*)$")
    roff_escape("${CMAKE_MATCH_1}" item)
    string(APPEND page ".TP\n.B ${item}\n")
    set(paragraph_ended OFF)
  else()
    if(paragraph_ended)
      string(APPEND page ".PP\n")
      set(paragraph_ended OFF)
    endif()
    roff_escape("${line}" body)
    string(APPEND page "${body}\n")
  endif()
endforeach()
file(WRITE ${OUTPUT} "${page}")
