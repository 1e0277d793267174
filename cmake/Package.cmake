# The Debian package, made by "cpack -G DEB" (or the target "package") in
# a build folder: what "cmake --install" puts in place, under /usr. Build
# it from a folder configured with -DCMAKE_INSTALL_PREFIX=/usr, so that
# the library lands in Debian's folder for Tcl extensions of this machine's
# architecture (/usr/lib/tcltk/<arch>), where a plain tclsh and wish look.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tcl-kelb)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kelb developers <kelb@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Tcl extension: matrix calculators, process scheduler, device channels, tree store")
set(CPACK_PACKAGE_DESCRIPTION
  "Kelb adds to a Tcl 8.6 interpreter postfix matrix and vector calculators,
a periodic process scheduler on the event loop, device ports as Tcl
channels, and a process-wide tree store whose node values are ordinary
Tcl variables named by their addresses. With manual pages in section n
and the headers other extensions compile against.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION interpreters)
# The libraries the build links (libc, libstdc++) come from dpkg-shlibdeps;
# Tcl itself is reached through its stubs table, so it is named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "tcl${KELB_TCL_VERSION}")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "tk8.6")
set(CPACK_STRIP_FILES ON)
include(CPack)
