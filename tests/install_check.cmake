cmake_policy(VERSION 3.20)
# Installs the build into a scratch prefix and checks that a tclsh that
# looks there finds the package, and, when the manuals were rendered, that
# man finds them. Given a build for the other Tcl release (PEER_BUILD_DIR,
# its tclsh PEER_TCLSH and library PEER_LIBRARY), installs it into the same
# folder as well and checks that each Tcl finds its own build there and
# refuses the other's with an error. With DRIVER_CHECK, builds the driver
# extension of tests/driver against the installed headers alone and loads
# it beside the installed serial package. Run by CTest as the test "install".
set(prefix ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${prefix})
foreach(build ${BUILD_DIR} ${PEER_BUILD_DIR})
  execute_process(COMMAND ${CMAKE_COMMAND} --install ${build} --prefix ${prefix}
                  RESULT_VARIABLE status OUTPUT_QUIET)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cmake --install ${build} failed")
  endif()
endforeach()
set(folder ${prefix}/${INSTALL_DIR})
get_filename_component(package_parent ${folder} DIRECTORY)

# check_shell(<tclsh> <its library> <the library it must refuse>)
set(shell_faults "")
function(check_shell tclsh library foreign)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TCLLIBPATH=${package_parent}
                  ${tclsh} ${CMAKE_CURRENT_LIST_DIR}/install_check.tcl ${foreign}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  set(expected "1.2.2 ${folder}/${library}\n")
  if(foreign)
    string(APPEND expected "refused: interpreter uses an incompatible stubs mechanism\n")
  endif()
  if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
    set(shell_faults "${shell_faults}${tclsh}: status ${status}, printed:\n${out}${err}expected:\n${expected}"
        PARENT_SCOPE)
  endif()
endfunction()

if(PEER_BUILD_DIR)
  check_shell(${TCLSH} ${LIBRARY} ${folder}/${PEER_LIBRARY})
  check_shell(${PEER_TCLSH} ${PEER_LIBRARY} ${folder}/${LIBRARY})
else()
  check_shell(${TCLSH} ${LIBRARY} "")
endif()
if(PAGES)
  include(${CMAKE_CURRENT_LIST_DIR}/manuals_check.cmake)
endif()
if(DRIVER_CHECK)
  include(${CMAKE_CURRENT_LIST_DIR}/install_driver_check.cmake)
endif()
file(REMOVE_RECURSE ${prefix})
if(shell_faults)
  message(FATAL_ERROR "installed package:\n${shell_faults}")
endif()
