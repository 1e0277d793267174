# Locates Tcl 8.6: public and private headers, the stubs library, and tclsh.
find_package(TCL REQUIRED)
find_package(TclStub REQUIRED)
find_package(Tclsh REQUIRED)

# Tcl's internal headers (tclInt.h) for the variable resolver and the Var
# record; Debian ships them under tcl-private.
find_path(TCL_PRIVATE_INCLUDE_DIR tclInt.h
  HINTS ${TCL_INCLUDE_PATH}/tcl-private/generic ${TCL_INCLUDE_PATH}/generic
  REQUIRED)
find_path(TCL_PRIVATE_PLATFORM_INCLUDE_DIR tclUnixPort.h
  HINTS ${TCL_INCLUDE_PATH}/tcl-private/unix ${TCL_INCLUDE_PATH}/unix
  REQUIRED)

# Everything that talks to Tcl goes through the stubs table, so one build
# loads into every 8.6 patch level.
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
  set(base lib/tcltk)
  foreach(dir ${pkgpath})
    string(FIND "${dir}" "${CMAKE_INSTALL_PREFIX}/" at)
    if(at EQUAL 0)
      file(RELATIVE_PATH base ${CMAKE_INSTALL_PREFIX} ${dir})
      break()
    endif()
  endforeach()
  set(${out} ${base}/kelb${PROJECT_VERSION} PARENT_SCOPE)
endfunction()
