# Installs the library, its public headers and the CMake package `Korrin`
# (find_package(Korrin), target Korrin::Korrin, #include <Vantrel/Vantrel.h>).
include(CMakePackageConfigHelpers)

set(KORRIN_INCLUDE_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/Korrin)
set(KORRIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Korrin)

install(TARGETS korrin EXPORT KorrinTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/Vantrel/ DESTINATION ${KORRIN_INCLUDE_ROOT}/Vantrel
  FILES_MATCHING PATTERN "*.h"
  PATTERN "engine" EXCLUDE PATTERN "digests" EXCLUDE PATTERN "io" EXCLUDE
  PATTERN "signature" EXCLUDE PATTERN "delta" EXCLUDE PATTERN "capi" EXCLUDE
)
install(FILES ${PROJECT_BINARY_DIR}/include/Vantrel/KorrinExport.h DESTINATION ${KORRIN_INCLUDE_ROOT}/Vantrel)
# The two pieces of the platform layer that belong to the public face: the file lock that
# in-place application takes, and the log sink a host program installs.
install(FILES ${PROJECT_SOURCE_DIR}/platform/FileLock.h ${PROJECT_SOURCE_DIR}/platform/Logging.h
  DESTINATION ${KORRIN_INCLUDE_ROOT}/platform)

install(EXPORT KorrinTargets NAMESPACE Korrin:: DESTINATION ${KORRIN_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KorrinConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KorrinConfig.cmake INSTALL_DESTINATION ${KORRIN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KorrinConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KorrinConfig.cmake ${PROJECT_BINARY_DIR}/KorrinConfigVersion.cmake
  DESTINATION ${KORRIN_CMAKE_DIR})
