# What the Windows build takes from this machine instead of find_package:
# Debian ships GoogleTest as sources and CLI11 as headers, but no Windows
# builds of either, so both come from those files here.

# GoogleTest and GoogleMock: an installed Windows build where there is one
# (MSYS2, vcpkg), else compiled for Windows from sources (Debian's
# /usr/src/googletest, package googletest), with the GTest:: names the test
# folders use.
find_package(GTest QUIET)
if(NOT TARGET GTest::gtest)
  set(TARVO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH
      "GoogleTest sources for the Windows tests")
  if(NOT EXISTS ${TARVO_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${TARVO_GOOGLETEST_SOURCE} "
                        "(apt install googletest, or set TARVO_GOOGLETEST_SOURCE)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(${TARVO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# CLI11 is header-only. Its Debian CMake package points at /usr/include,
# which must not reach the Windows compiler (glibc's headers are there), so
# only its own folder is copied into the build tree.
if(NOT TARGET CLI11::CLI11 AND EXISTS /usr/include/CLI/CLI.hpp)
  file(COPY /usr/include/CLI DESTINATION ${CMAKE_BINARY_DIR}/cli11/include)
  add_library(CLI11::CLI11 INTERFACE IMPORTED)
  set_target_properties(CLI11::CLI11 PROPERTIES INTERFACE_INCLUDE_DIRECTORIES
                                                ${CMAKE_BINARY_DIR}/cli11/include)
endif()

# help2man makes the man pages by running the programs, which are Windows
# programs here; Windows users read --help.
function(tarvo_add_man_page program)
endfunction()
