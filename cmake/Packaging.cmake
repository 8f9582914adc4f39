# Debian packages of the suite: `cpack -G DEB` in the build folder makes one
# package per install component.
#
#   component  package              holds
#   tool       tarvo-tool           tarvo-cli, tarvo-tool, tarvo-sim, libdcc.so beside them,
#                                   the desktop entry, the icon, the man pages
#   library    libzvserverapi<N>    libZvServerAPI.so.<N> (N: the library's soname version)
#   dev        libzvserverapi-dev   ZvServerAPI.h, ZvServerAPI.def, the .so link,
#                                   ZvServerAPI.pc, the CMake package
#   server     zvrelayd             zvrelayd and its man page, the systemd unit, the
#                                   logrotate file, the configuration file under
#                                   /etc/zvrelayd, the system user (sysusers.d)
#
# The packages install under /usr; the programs find libZvServerAPI.so in
# ../<libdir> relative to themselves (RUNPATH), so an unpacked tree works as well.
set(TARVO_PACKAGE_MAINTAINER "Tarvo maintainers <maintainers@tarvo.invalid>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_PACKAGE_NAME tarvo)
set(CPACK_PACKAGE_VENDOR "Tarvo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TARVO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL tool library dev server)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Packaged programs and libraries are stripped; the build folder keeps the
# unstripped copies for debugging.
set(CPACK_STRIP_FILES ON)

get_target_property(zv_soversion ZvServerAPI SOVERSION)
set(CPACK_DEBIAN_TOOL_PACKAGE_NAME tarvo-tool)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libzvserverapi${zv_soversion})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzvserverapi-dev)
set(CPACK_DEBIAN_SERVER_PACKAGE_NAME zvrelayd)
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_SERVER_PACKAGE_SECTION net)

# The first line of each is the package's synopsis.
set(CPACK_DEBIAN_TOOL_DESCRIPTION
    "maintenance tool for Tarvo LED display controllers
tarvo-tool (a Qt dialog) and tarvo-cli (its command line) list, read, write,
delete and format files on a controller's two disks, upgrade its firmware,
check its versions, reset it and set its screen configuration, over a serial
line, the network, a GPRS gateway or the relay server. tarvo-sim is a
simulated controller to try them on; libdcc.so is the GPRS gateway library
the tools load from their own folder.")
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION
    "client library of the Tarvo relay server
libZvServerAPI logs in to zvrelayd, locks a controller card and exchanges
controller packets with it (the nine ZvServer_* C functions).")
set(CPACK_DEBIAN_DEV_DESCRIPTION
    "client library of the Tarvo relay server (development files)
The header ZvServerAPI.h, the ordinal table ZvServerAPI.def, a pkg-config
file (ZvServerAPI) and a CMake package (find_package(ZvServerAPI), target
ZvServerAPI::ZvServerAPI) for programs built against libZvServerAPI.")
set(CPACK_DEBIAN_SERVER_DESCRIPTION
    "relay server between maintenance tools and controller cards
zvrelayd accepts users (through libZvServerAPI) and controller cards over
TCP and UDP, locks each card to one user at a time and forwards controller
packets between them. Accounts are kept in an SQLite database.")

# The packages of one build belong together: the tools and the development
# files need the library of exactly this build.
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_COMPONENT_TOOL_DEPENDS library)
set(CPACK_COMPONENT_DEV_DEPENDS library)

# Dependencies on system libraries come from dpkg-shlibdeps (package
# dpkg-dev) when it is installed. It resolves libZvServerAPI.so.1 in the
# build's bin folder and, as no installed package owns it there, leaves it to
# the dependency declared above. The library package gets a shlibs file, so
# that packages of programs built against it depend on it in turn.
find_program(TARVO_DPKG_SHLIBDEPS dpkg-shlibdeps)
find_program(TARVO_FILE file)
if(TARVO_DPKG_SHLIBDEPS AND TARVO_FILE)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
else()
  # Without them, the libraries the programs link as Debian 12 names them.
  message(STATUS "dpkg-shlibdeps or file not found: the Debian packages' dependencies "
                 "are the declared ones")
  set(base_libs "libc6, libgcc-s1, libstdc++6")
  set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "${base_libs}, libqt6core6, libqt6gui6, libqt6widgets6")
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${base_libs}, libsqlite3-0")
  set(CPACK_DEBIAN_SERVER_PACKAGE_DEPENDS "${base_libs}, libsqlite3-0")
endif()

# The server as a system service (packaging/): files under /etc are the
# administrator's (conffiles), and the package makes the user the unit runs as.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zvrelayd.service
        DESTINATION lib/systemd/system COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zvrelayd.sysusers
        DESTINATION lib/sysusers.d RENAME zvrelayd.conf COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zvrelayd.logrotate
        DESTINATION /etc/logrotate.d RENAME zvrelayd COMPONENT server)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/zvrelayd.conf
        DESTINATION /etc/zvrelayd COMPONENT server)
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_EXTRA
    "${PROJECT_SOURCE_DIR}/packaging/postinst;${PROJECT_SOURCE_DIR}/packaging/conffiles")
set(CPACK_DEBIAN_SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# What the packages hold, built without the tests and benchmarks:
#   cmake --build --preset default --target tarvo_packaged && cpack -G DEB
# (cpack itself builds nothing more: the install step does not depend on "all").
add_custom_target(tarvo_packaged)
add_dependencies(tarvo_packaged tarvo-cli tarvo-sim zvrelayd ZvServerAPI dcc)
foreach(part tarvo-tool tarvo_tool_icon tarvo-cli_man_page tarvo-sim_man_page zvrelayd_man_page)
  if(TARGET ${part})
    add_dependencies(tarvo_packaged ${part})
  endif()
endforeach()
