# Debian packages through CPack (`scripts/package`):
#   orvantix      the programs, the two shared libraries, data and documents
#   orvantix-dev  headers, library links and the pkg-config file
# Library dependencies come from dpkg-shlibdeps; what is loaded at run time
# (Qt's platform plugins, GStreamer elements, setcap) is named here.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvantix)
set(CPACK_PACKAGE_VENDOR "The Orvantix developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package's description starts with its own synopsis line.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_CONTACT "Orvantix maintainers <maintainers@orvantix.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)

set(CPACK_COMPONENTS_ALL runtime dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME orvantix)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
# The libraries inside the package itself resolve against the build tree.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/bin)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS
  "libcap2-bin, qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, gstreamer1.0-x")
# The simulator's video encoder, and a Secret Service to keep the cameras'
# passwords in (without one they are sealed under the site passphrase).
set(CPACK_DEBIAN_RUNTIME_PACKAGE_RECOMMENDS "gstreamer1.0-plugins-ugly, gnome-keyring")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA
  ${CMAKE_CURRENT_SOURCE_DIR}/postinst ${CMAKE_CURRENT_SOURCE_DIR}/triggers)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION
"find IP cameras on the local network and configure them
Orvantix finds a maker's IP cameras on the networks of this computer by raw
Ethernet discovery and configures them, one at a time or hundreds at once:
IP settings, names, passwords, clocks, ports, dynamic DNS, video streams,
image options, firmware, OEM branding and live video.

The package also holds orvantix-camsim, a simulator of many cameras for
tests in network namespaces, and the discovery and device libraries.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME orvantix-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "orvantix (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEV_DESCRIPTION
"development files of the Orvantix libraries
Headers, library links and the pkg-config file (qvipcsdk) of the discovery
library (qvsp, raw Ethernet) and of the device SDK (qvipcsdk, a flat C
interface over HTTP) that the Orvantix tool is built on.")

include(CPack)
