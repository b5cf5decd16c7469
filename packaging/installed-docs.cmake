# Makes the documents the package installs, at install time:
# - the guides with the installed commands in place of build paths and
#   without the sections on building from the sources;
# - the man page of lapvaneadmin, made from its --help text;
# - the changelog, compressed as Debian wants it.
# Run with -DPROGRAM=<lapvaneadmin> -DSOURCE=<repository> -DPACKAGING=<this folder> -DOUT=<folder>.
cmake_minimum_required(VERSION 3.25)
file(MAKE_DIRECTORY "${OUT}")
# Stand-ins for the list separator while text is split into lists.
string(ASCII 30 semicolon)
string(ASCII 31 cut)

# --- The guides ---------------------------------------------------------------
# Sections of README.md about building from the sources.
set(source_only_sections "Installing the package" "The two commands" "Code layout")
file(READ "${SOURCE}/README.md" text)
string(REPLACE "\n## " "\n${cut}## " text "${text}")
string(REPLACE ";" "${semicolon}" text "${text}")
string(REPLACE "${cut}" ";" sections "${text}")
set(kept "")
foreach(section IN LISTS sections)
  set(drop FALSE)
  foreach(title IN LISTS source_only_sections)
    string(FIND "${section}" "## ${title}\n" at)
    if(at EQUAL 0)
      set(drop TRUE)
    endif()
  endforeach()
  if(NOT drop)
    string(APPEND kept "${section}")
  endif()
endforeach()
string(REPLACE "${semicolon}" ";" text "${kept}")
string(REPLACE "`./scripts/run.sh` also builds a receiver simulator, `build-release/tools/receiversim/receiversim`."
               "The package holds a receiver simulator, `lapvaneadmin-receiversim`." text "${text}")
string(REPLACE "build-release/tools/receiversim/receiversim" "lapvaneadmin-receiversim" text "${text}")
string(REPLACE "[tools/receiversim/README.md](tools/receiversim/README.md)"
               "[README.receiversim.md](README.receiversim.md), beside this guide," text "${text}")
file(WRITE "${OUT}/README.md" "${text}")

file(READ "${SOURCE}/tools/receiversim/README.md" text)
string(REGEX REPLACE "It is built with the program \\(`ninja receiversim`\\); the binary is[ \n]`tools/receiversim/receiversim` in the build folder\\. The installed package has it as[ \n]`lapvaneadmin-receiversim`\\."
                     "The package installs it as `lapvaneadmin-receiversim`." text "${text}")
string(REGEX REPLACE "(^|\n|`|# |    )receiversim([ `])" "\\1lapvaneadmin-receiversim\\2" text "${text}")
file(WRITE "${OUT}/README.receiversim.md" "${text}")

# --- The man page ---------------------------------------------------------------
execute_process(COMMAND "${PROGRAM}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${rc})")
endif()
function(roff input output)
  string(REPLACE "\\" "\\e" s "${input}")
  string(REPLACE "-" "\\-" s "${s}")
  set(${output} "${s}" PARENT_SCOPE)
endfunction()
string(REPLACE ";" "${semicolon}" help "${help}")
string(REPLACE "\n" ";" lines "${help}")
list(GET lines 0 usage)
list(GET lines 1 summary)
string(REGEX REPLACE "^Usage: lapvaneadmin *" "" usage "${usage}")
string(REGEX MATCH "^Lapvane Admin ([^:]*): (.*)$" matched "${summary}")
set(version "${CMAKE_MATCH_1}")
set(what "${CMAKE_MATCH_2}")
string(REGEX REPLACE "\\.$" "" what "${what}")
roff("${usage}" usage)
roff("${what}" what_roff)
set(page ".TH LAPVANEADMIN 1 \"\" \"Lapvane Admin ${version}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\nlapvaneadmin \\- ${what_roff}\n")
string(APPEND page ".SH SYNOPSIS\n.B lapvaneadmin\n${usage}\n")
string(APPEND page ".SH DESCRIPTION\nLapvane Admin is ${what_roff}: a pilot registry, events and stages, "
                   "races timed by up to three lap-timing receivers, announcements and live pages.\n"
                   "Without options it opens its window on the program folder.\n")
string(APPEND page ".SH OPTIONS\n")
set(in_options FALSE)
foreach(line IN LISTS lines)
  if(line STREQUAL "Options:")
    set(in_options TRUE)
  elseif(in_options AND line MATCHES "^  (-[^ ]+( [^ ]+)*)  +(.*)$")
    roff("${CMAKE_MATCH_1}" spec)
    roff("${CMAKE_MATCH_3}" body)
    string(APPEND page ".TP\n.B ${spec}\n${body}\n")
  elseif(in_options AND line MATCHES "^   +(.*)$")
    roff("${CMAKE_MATCH_1}" body)
    string(APPEND page "${body}\n")
  endif()
endforeach()
string(APPEND page ".SH SEE ALSO\n.B lapvaneadmin\\-receiversim\nplays the timing receivers for trying the program "
                   "without hardware.\nThe guides: /usr/share/doc/lapvaneadmin/README.md and README.receiversim.md.\n")
string(REPLACE "${semicolon}" ";" page "${page}")
file(WRITE "${OUT}/lapvaneadmin.1" "${page}")
execute_process(COMMAND gzip -9nf "${OUT}/lapvaneadmin.1" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of the man page failed")
endif()

# --- The changelog ---------------------------------------------------------------
file(COPY_FILE "${PACKAGING}/changelog" "${OUT}/changelog")
execute_process(COMMAND gzip -9nf "${OUT}/changelog" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip of the changelog failed")
endif()
