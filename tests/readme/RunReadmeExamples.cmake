# Runs the examples of the README against the installed package, so that they cannot rot:
# the shell block marked "tested: tool" in a scratch directory with the installed korrin
# first on the PATH, and the C++ block marked "tested: cpp" built as a client project and
# run on a pair of files.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/run")
set(prefix "${WORK_DIR}/prefix")

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${WORK_DIR}/run" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

# The text of the code block that follows `marker` in the README.
function(block_after marker out)
  file(READ "${README}" text)
  string(FIND "${text}" "<!-- tested: ${marker} -->" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the README has no block marked ${marker}")
  endif()
  string(SUBSTRING "${text}" ${at} -1 text)
  string(FIND "${text}" "\n```" open)
  math(EXPR open "${open} + 4")
  string(SUBSTRING "${text}" ${open} -1 text)
  string(FIND "${text}" "\n" lineEnd)      # the rest of the fence line names the language
  math(EXPR lineEnd "${lineEnd} + 1")
  string(SUBSTRING "${text}" ${lineEnd} -1 text)
  string(FIND "${text}" "\n```" close)
  string(SUBSTRING "${text}" 0 ${close} text)
  set(${out} "${text}\n" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install "${KORRIN_BUILD_DIR}" --prefix "${prefix}" --config "${CONFIG}")

block_after(tool shell)
file(WRITE "${WORK_DIR}/tool-examples.sh" "set -euo pipefail\nexport PATH=\"${prefix}/bin:$PATH\"\n${shell}")
run(bash "${WORK_DIR}/tool-examples.sh")

block_after(cpp program)
file(WRITE "${WORK_DIR}/cpp/road.cpp" "${program}")
file(WRITE "${WORK_DIR}/cpp/CMakeLists.txt" "cmake_minimum_required(VERSION 3.20)
project(ReadmeRoad LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 17)
find_package(Korrin REQUIRED)
add_executable(road road.cpp)
target_link_libraries(road PRIVATE Korrin::Korrin)
")
run(${CMAKE_COMMAND} -S "${WORK_DIR}/cpp" -B "${WORK_DIR}/cpp/build" "-DCMAKE_PREFIX_PATH=${prefix}"
    -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build "${WORK_DIR}/cpp/build")
string(REPEAT "a line of the old file\n" 20000 old)
string(REPEAT "a line of the old file\n" 9000 head)
string(REPEAT "a line of the old file\n" 10999 tail)
file(WRITE "${WORK_DIR}/run/old.txt" "${old}")
file(WRITE "${WORK_DIR}/run/new.txt" "${head}a line that is new\n${tail}")
run("${WORK_DIR}/cpp/build/road" old.txt new.txt)
file(READ "${WORK_DIR}/run/old.txt" after)
file(READ "${WORK_DIR}/run/new.txt" expected)
if(NOT after STREQUAL expected)
  message(FATAL_ERROR "the README's program did not turn old.txt into new.txt")
endif()
