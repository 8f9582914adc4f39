# Writes PAGE.gz, the man page of PROGRAM, made by help2man from the
# program's --help and --version. Run at build time by tarvo_add_man_page
# (Tarvo.cmake) with -D HELP2MAN, AWK, GZIP, PROGRAM, NAME (what the program is,
# one line) and PAGE.
#
# The indented blocks of a help text (usage forms, examples) hold one item per
# line; help2man makes filled paragraphs of them, so they are marked no-fill.
cmake_minimum_required(VERSION 3.25)

# In the sanitizer build a leak report at the program's exit would fail help2man.
set(ENV{ASAN_OPTIONS} detect_leaks=0)
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --source=Tarvo --name=${NAME} ${PROGRAM}
  COMMAND ${AWK} [=[
    /^\.IP$/ { print; print ".nf"; keep = 1; next }
    keep && /^\./ { print ".fi"; keep = 0 }
    { print }
    END { if (keep) print ".fi" }]=]
  OUTPUT_FILE ${PAGE}
  RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  message(FATAL_ERROR "help2man could not make the man page of ${PROGRAM} (${results})")
endif()
execute_process(COMMAND ${GZIP} -9nf ${PAGE} COMMAND_ERROR_IS_FATAL ANY)
