# Installs the library, its public headers and the CMake package `Korrin`
# (find_package(Korrin), target Korrin::Korrin, #include <Vantrel/Vantrel.h>).
include(CMakePackageConfigHelpers)

set(KORRIN_INCLUDE_ROOT ${CMAKE_INSTALL_INCLUDEDIR}/Korrin)
set(KORRIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Korrin)

# The headers are the library's file sets (Vantrel/CMakeLists.txt), each installed under the
# include folder that the installed target names.
install(TARGETS korrin EXPORT KorrinTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${KORRIN_INCLUDE_ROOT}
  FILE_SET generated DESTINATION ${KORRIN_INCLUDE_ROOT}
)

install(EXPORT KorrinTargets NAMESPACE Korrin:: DESTINATION ${KORRIN_CMAKE_DIR})
# The build tree is a package too: a client may find it with Korrin_DIR set to this build
# folder. The config file names only the files beside it, so the one file serves both.
export(EXPORT KorrinTargets NAMESPACE Korrin:: FILE ${PROJECT_BINARY_DIR}/KorrinTargets.cmake)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/KorrinConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KorrinConfig.cmake INSTALL_DESTINATION ${KORRIN_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KorrinConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KorrinConfig.cmake ${PROJECT_BINARY_DIR}/KorrinConfigVersion.cmake
  DESTINATION ${KORRIN_CMAKE_DIR})
