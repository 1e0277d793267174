# Installs the build into a scratch prefix and checks that a tclsh that
# looks there finds the package, and, when the manuals were rendered, that
# man finds them. Run by CTest as the test "install".
set(prefix ${BUILD_DIR}/install-check)
file(REMOVE_RECURSE ${prefix})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
                RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()
get_filename_component(package_parent ${prefix}/${INSTALL_DIR} DIRECTORY)
execute_process(COMMAND ${CMAKE_COMMAND} -E env TCLLIBPATH=${package_parent} ${TCLSH}
                INPUT_FILE ${CMAKE_CURRENT_LIST_DIR}/install_check.tcl
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
if(PAGES)
  include(${CMAKE_CURRENT_LIST_DIR}/manuals_check.cmake)
endif()
file(REMOVE_RECURSE ${prefix})
if(NOT status EQUAL 0 OR NOT out MATCHES "^1.2.2 ${prefix}")
  message(FATAL_ERROR "installed package not found: ${out}${err}")
endif()
