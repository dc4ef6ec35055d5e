# Writes a man page from a program's own --help, so the page never falls
# behind the program. For programs with subcommands ("Subcommands:" in the
# help), every subcommand's help (and one level below) gets its own section.
#   cmake -DPROGRAM=path -DNAME=mrxctl -DSUMMARY="..." -DVERSION=1.0.0 -DOUT=file -P MakeManPage.cmake

function(help_of out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE rc
                  ERROR_QUIET)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${rc})")
  endif()
  if(ARGN)
    # The environment and exit codes are the same for every command: the
    # top of the page has them once.
    string(REGEX REPLACE "\nEnvironment:.*$" "\n" text "${text}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Subcommand names listed under "Subcommands:" in a help text.
function(subcommands_of text out)
  set(names)
  set(inside FALSE)
  string(REPLACE "\n" ";" lines "${text}")
  foreach(line IN LISTS lines)
    if(line MATCHES "^Subcommands:")
      set(inside TRUE)
    elseif(inside AND line MATCHES "^  ([a-z][a-z0-9-]*)")
      list(APPEND names "${CMAKE_MATCH_1}")
    elseif(inside AND NOT line MATCHES "^  ")
      set(inside FALSE)
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

# Help text as literal troff lines.
function(as_troff text out)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}\n.fi\n" PARENT_SCOPE)
endfunction()

string(TOUPPER "${NAME}" upper)
string(TIMESTAMP today "%Y-%m-%d" UTC)  # SOURCE_DATE_EPOCH is honoured

help_of(top)
as_troff("${top}" body)
set(page ".TH ${upper} 1 \"${today}\" \"MRX520 ${VERSION}\" \"User Commands\"\n")
string(APPEND page ".SH NAME\n${NAME} \\- ${SUMMARY}\n.SH DESCRIPTION\n${body}")

subcommands_of("${top}" subs)
if(subs)
  string(APPEND page ".SH COMMANDS\n")
  foreach(sub IN LISTS subs)
    help_of(subText ${sub})
    as_troff("${subText}" subBody)
    string(APPEND page ".SS \"${NAME} ${sub}\"\n${subBody}")
    subcommands_of("${subText}" leaves)
    foreach(leaf IN LISTS leaves)
      help_of(leafText ${sub} ${leaf})
      as_troff("${leafText}" leafBody)
      string(APPEND page ".SS \"${NAME} ${sub} ${leaf}\"\n${leafBody}")
    endforeach()
  endforeach()
endif()
file(WRITE "${OUT}" "${page}")
