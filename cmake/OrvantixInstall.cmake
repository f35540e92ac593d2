# The installed layout, shared by every part: GNU directories, where an
# installed program finds its language files, and how it finds the libraries.
# Components: `runtime` (programs, libraries, data) and `dev` (headers,
# library links, pkg-config); the Debian packages follow them.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME runtime)

set(ORVANTIX_LANG_INSTALL_DIR ${CMAKE_INSTALL_DATADIR}/orvantix/lang)
# The program looks for its language files relative to its own folder, so an
# installation under any prefix works as it is.
file(RELATIVE_PATH ORVANTIX_LANG_DIR_FROM_BIN
  ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${ORVANTIX_LANG_INSTALL_DIR})

# Installed programs find the libraries through the loader's own search path;
# under a prefix the loader does not search, through a relative RUNPATH.
list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES ${CMAKE_INSTALL_FULL_LIBDIR} system_libdir)
if(system_libdir EQUAL -1)
  file(RELATIVE_PATH libdir_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(CMAKE_INSTALL_RPATH "$ORIGIN/${libdir_from_bin}")
endif()

# Everything an installation holds and nothing else: what `scripts/run` and
# `scripts/package` build, whether or not the tree also builds the tests.
add_custom_target(product)

# orvantix_install_program(<target>): a program in bin/, part of `product`.
function(orvantix_install_program target)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  add_dependencies(product ${target})
endfunction()

# orvantix_install_library(<target> HEADERS <files...>)
# A shared library with its SONAME, its public headers under include/<target>/
# and its development link.
function(orvantix_install_library target)
  cmake_parse_arguments(L "" "" "HEADERS" ${ARGN})
  install(TARGETS ${target}
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev)
  install(FILES ${L_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/${target} COMPONENT dev)
  add_dependencies(product ${target})
endfunction()
