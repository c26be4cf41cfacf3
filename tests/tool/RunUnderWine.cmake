# Runs the tool tests against the Windows build's korrin.exe under Wine: installs the cross
# build (and, for the tests that compare the two builds, this build) into scratch prefixes,
# then runs the Linux test program with KORRIN_TOOL naming a small script that starts
# korrin.exe under Wine. One Wine prefix in the build tree serves every run, with one
# persistent wineserver for the length of a run: each start of a program is then cheap.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")

# Output goes to a file: the server and the programs Wine starts beside the first one outlive
# it, and would hold a pipe open.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result
    OUTPUT_FILE "${WORK_DIR}/setup.out" ERROR_FILE "${WORK_DIR}/setup.err")
  if(NOT result EQUAL 0)
    file(READ "${WORK_DIR}/setup.err" error)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${error}")
  endif()
endfunction()

run(${CMAKE_COMMAND} --install "${WINDOWS_BUILD_DIR}" --prefix "${WORK_DIR}/windows")
set(exe "${WORK_DIR}/windows/bin/korrin.exe")
if(NOT EXISTS "${exe}")
  message(FATAL_ERROR "${WINDOWS_BUILD_DIR} installs no bin/korrin.exe: is it a cross build for Windows?")
endif()
if(PEER)
  run(${CMAKE_COMMAND} --install "${KORRIN_BUILD_DIR}" --prefix "${WORK_DIR}/linux" --config "${CONFIG}")
  set(ENV{KORRIN_PEER_TOOL} "${WORK_DIR}/linux/${BIN_DIR}/korrin")
endif()

# Wine names the root of the Unix file system Z:.
string(REPLACE "/" "\\" windowsBin "Z:${WORK_DIR}/windows/bin")

# Wine's own files (its server's socket among them) go to /tmp rather than to the tests'
# TMPDIR, which is the tool's temporary directory and must hold nothing else.
set(ENV{WINEPREFIX} "${WINE_PREFIX}")
set(ENV{WINEDEBUG} "-all")
# A new prefix would offer to install .NET and a browser engine: nothing here needs them.
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{TMPDIR})
file(MAKE_DIRECTORY "${WINE_PREFIX}")
run(${WINESERVER} -p)

# Wine sets TMP and TEMP from the prefix's registry, not from the environment: the registry
# refers them to KORRIN_TEST_TEMP, which the script below sets from the tests' TMPDIR.
if(NOT EXISTS "${WINE_PREFIX}/korrin-temp-set")
  foreach(name TEMP TMP)
    run(${WINE} reg add "HKCU\\Environment" /v ${name} /t REG_EXPAND_SZ /d "%KORRIN_TEST_TEMP%" /f)
  endforeach()
  file(TOUCH "${WINE_PREFIX}/korrin-temp-set")
endif()

# Wine reads the command line in the locale's encoding: UTF-8, as the tests name their files.
set(environment "export WINEPREFIX='${WINE_PREFIX}' WINEDEBUG=-all LC_ALL=C.UTF-8
KORRIN_TEST_TEMP=\"Z:$(printf '%s' \"\${TMPDIR:-/tmp}\" | tr / '\\\\')\"
export KORRIN_TEST_TEMP
unset TMPDIR
")
file(WRITE "${WORK_DIR}/korrin" "#!/bin/sh\n${environment}exec '${WINE}' '${exe}' \"$@\"\n")
# korrin-holding FILE ARGUMENTS...: the tool while another Windows process has FILE open
# (the Windows lock is a file opened unshared). The command interpreter holds it as the
# tool's standard input, so FILE must be a name without spaces.
file(WRITE "${WORK_DIR}/korrin-holding" "#!/bin/sh\nfile=$1\nshift\n: >>\"$file\"\n${environment}"
  "export WINEPATH='${windowsBin}'\nexec '${WINE}' cmd /c korrin.exe \"$@\" \"<$file\"\n")
file(CHMOD "${WORK_DIR}/korrin" "${WORK_DIR}/korrin-holding"
  PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(ENV{KORRIN_TOOL} "${WORK_DIR}/korrin")
set(ENV{KORRIN_TOOL_SYSTEM} "windows")
set(ENV{KORRIN_TOOL_HOLDING} "${WORK_DIR}/korrin-holding")
execute_process(COMMAND "${TESTS}" "--gtest_filter=${FILTER}" RESULT_VARIABLE result)
execute_process(COMMAND ${WINESERVER} -k)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "korrin_tool_tests against korrin.exe under Wine failed (${result})")
endif()
