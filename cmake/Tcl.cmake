# Locates Tcl 8.6 or Tcl 9.0 (KELB_TCL_VERSION): public and private headers,
# the stubs library, and a tclsh of the same release. KELB_TCL_ROOT names a
# tree to search first (an unpacked package tree or an install prefix); any
# of TCL_INCLUDE_PATH, TCL_STUB_LIBRARY, TCL_LIBRARY and TCL_TCLSH may also be
# given by hand.
set(KELB_TCL_VERSION 8.6 CACHE STRING "The Tcl release to build for: 8.6 or 9.0")
set_property(CACHE KELB_TCL_VERSION PROPERTY STRINGS 8.6 9.0)
set(KELB_TCL_ROOT "" CACHE PATH "A folder to search for Tcl first")
if(NOT KELB_TCL_VERSION MATCHES "^(8\\.6|9\\.0)$")
  message(FATAL_ERROR "KELB_TCL_VERSION must be 8.6 or 9.0, not ${KELB_TCL_VERSION}")
endif()
set(tcl_v ${KELB_TCL_VERSION})
string(REPLACE "." "" tcl_vnodot ${tcl_v})
set(tcl_include_hints "")
set(tcl_lib_hints "")
set(tcl_bin_hints "")
if(KELB_TCL_ROOT)
  set(tcl_include_hints ${KELB_TCL_ROOT}/usr/include/tcl${tcl_v} ${KELB_TCL_ROOT}/include)
  set(tcl_lib_hints ${KELB_TCL_ROOT}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE} ${KELB_TCL_ROOT}/lib)
  set(tcl_bin_hints ${KELB_TCL_ROOT}/usr/bin ${KELB_TCL_ROOT}/bin)
endif()

find_path(TCL_INCLUDE_PATH tcl.h HINTS ${tcl_include_hints}
  PATH_SUFFIXES tcl${tcl_v} REQUIRED)
find_library(TCL_STUB_LIBRARY NAMES tclstub${tcl_v} tclstub${tcl_vnodot} tclstub
  HINTS ${tcl_lib_hints} REQUIRED)
find_library(TCL_LIBRARY NAMES tcl${tcl_v} tcl${tcl_vnodot}
  HINTS ${tcl_lib_hints} REQUIRED)
find_program(TCL_TCLSH NAMES tclsh${tcl_v} tclsh${tcl_vnodot}
  HINTS ${tcl_bin_hints} REQUIRED)

# The headers and the shell must be of the release asked for: a mismatch
# would build a library that no shell here loads.
file(STRINGS ${TCL_INCLUDE_PATH}/tcl.h header_version
     REGEX "^#[ \t]*define[ \t]+TCL_VERSION[ \t]")
string(REGEX MATCH "[0-9]+\\.[0-9]+" header_version "${header_version}")
if(NOT header_version STREQUAL tcl_v)
  message(FATAL_ERROR "${TCL_INCLUDE_PATH}/tcl.h is Tcl ${header_version}, not ${tcl_v}")
endif()
execute_process(COMMAND ${TCL_TCLSH} INPUT_FILE ${CMAKE_CURRENT_LIST_DIR}/tclversion.tcl
  OUTPUT_VARIABLE shell_version OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT shell_version STREQUAL tcl_v)
  message(FATAL_ERROR "${TCL_TCLSH} runs Tcl '${shell_version}', not ${tcl_v}")
endif()
string(REGEX MATCH "^[0-9]+" KELB_TCL_MAJOR ${tcl_v})

# Tcl's internal headers (tclInt.h) for the variable resolver and the Var
# record; Debian ships them under tcl-private.
find_path(TCL_PRIVATE_INCLUDE_DIR tclInt.h
  HINTS ${TCL_INCLUDE_PATH}/tcl-private/generic ${TCL_INCLUDE_PATH}/generic
  REQUIRED)
find_path(TCL_PRIVATE_PLATFORM_INCLUDE_DIR tclUnixPort.h
  HINTS ${TCL_INCLUDE_PATH}/tcl-private/unix ${TCL_INCLUDE_PATH}/unix
  REQUIRED)

# Everything that talks to Tcl goes through the stubs table, so one build
# loads into every patch level of its release.
add_library(kelb_tcl_stubs INTERFACE)
target_include_directories(kelb_tcl_stubs INTERFACE
  ${TCL_INCLUDE_PATH} ${TCL_PRIVATE_INCLUDE_DIR} ${TCL_PRIVATE_PLATFORM_INCLUDE_DIR})
target_compile_definitions(kelb_tcl_stubs INTERFACE USE_TCL_STUBS=1)
target_link_libraries(kelb_tcl_stubs INTERFACE ${TCL_STUB_LIBRARY})

# kelb_install_dir(<var>): a folder on Tcl's package path under the install
# prefix, where a plain tclsh looks for packages. Override with
# -DKELB_INSTALL_DIR=... .
function(kelb_install_dir out)
  if(DEFINED KELB_INSTALL_DIR)
    set(${out} ${KELB_INSTALL_DIR} PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND ${TCL_TCLSH}
    INPUT_FILE ${CMAKE_SOURCE_DIR}/cmake/pkgpath.tcl
    OUTPUT_VARIABLE pkgpath OUTPUT_STRIP_TRAILING_WHITESPACE)
  # Relative to the install prefix where Tcl's path allows, so that
  # "cmake --install build --prefix ..." still works.
  # A folder of /usr/local is no folder of the prefix /usr.
  set(base lib/tcltk)
  foreach(dir ${pkgpath})
    string(FIND "${dir}" "${CMAKE_INSTALL_PREFIX}/" at)
    string(FIND "${dir}" "/usr/local/" local_at)
    string(FIND "${CMAKE_INSTALL_PREFIX}/" "/usr/local/" prefix_local_at)
    if(at EQUAL 0 AND (NOT local_at EQUAL 0 OR prefix_local_at EQUAL 0))
      file(RELATIVE_PATH base ${CMAKE_INSTALL_PREFIX} ${dir})
      break()
    endif()
  endforeach()
  set(${out} ${base}/kelb${PROJECT_VERSION} PARENT_SCOPE)
endfunction()
