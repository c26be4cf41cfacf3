# Configures, builds and runs the consumer project as a client outside the tree would, by one
# of three roads (HOW): "installed", against the package installed into a scratch prefix;
# "build-tree", against the package the build folder exports; "subdirectory", with Korrin's
# sources added to the consumer's own build, which must keep its own (empty) build type and
# build the library alone.
file(REMOVE_RECURSE "${WORK_DIR}")
set(prefix "${WORK_DIR}/prefix")
set(build "${WORK_DIR}/build")

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}")
  endif()
endfunction()

if(HOW STREQUAL "installed")
  run(${CMAKE_COMMAND} --install "${KORRIN_BUILD_DIR}" --prefix "${prefix}" --config "${CONFIG}")
  set(options "-DCMAKE_PREFIX_PATH=${prefix}" -DCMAKE_BUILD_TYPE=Release)
  if(EXISTS "${prefix}/include/Korrin/platform")
    message(FATAL_ERROR "the platform layer's headers were installed: ${prefix}/include/Korrin/platform")
  endif()
elseif(HOW STREQUAL "build-tree")
  set(options "-DKorrin_DIR=${KORRIN_BUILD_DIR}" -DCMAKE_BUILD_TYPE=Release)
elseif(HOW STREQUAL "subdirectory")
  set(options "-DKORRIN_SOURCE_DIR=${KORRIN_SOURCE_DIR}" -DCMAKE_BUILD_TYPE=)
else()
  message(FATAL_ERROR "HOW is installed, build-tree or subdirectory, not '${HOW}'")
endif()
run(${CMAKE_COMMAND} -S "${CONSUMER_SOURCE_DIR}" -B "${build}" ${options})

if(HOW STREQUAL "subdirectory")
  file(STRINGS "${build}/CMakeCache.txt" buildType REGEX "^CMAKE_BUILD_TYPE:")
  if(NOT buildType MATCHES ":STRING=$")
    message(FATAL_ERROR "Korrin changed its parent's empty build type: ${buildType}")
  endif()
  foreach(part tools examples tests bench)
    if(EXISTS "${build}/korrin/${part}")
      message(FATAL_ERROR "Korrin as a subdirectory configured its ${part} (${build}/korrin/${part})")
    endif()
  endforeach()
endif()
run(${CMAKE_COMMAND} --build "${build}" --target consumer)
run("${build}/consumer")
