# Installs the built tree into a scratch prefix, then runs the tool tests against the
# korrin installed there, as a user would meet it.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")

execute_process(COMMAND ${CMAKE_COMMAND} --install "${KORRIN_BUILD_DIR}" --prefix "${prefix}" --config "${CONFIG}"
  OUTPUT_QUIET RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "installing into ${prefix} failed (${result})")
endif()

set(ENV{KORRIN_TOOL} "${prefix}/${BIN_DIR}/korrin")
execute_process(COMMAND "${TESTS}" "--gtest_filter=${FILTER}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "korrin_tool_tests failed (${result})")
endif()
