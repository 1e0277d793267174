# Part of install_check.cmake: builds tests/driver as a project of its own
# against the headers installed under ${prefix}/include/kelb (and Tcl's),
# then has the installed packages and that extension work together: the
# extension registers a port through the table, the serial package adds
# one, and "device" lists and opens both.
set(driver_build ${prefix}-driver)
file(REMOVE_RECURSE ${driver_build})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${CMAKE_CURRENT_LIST_DIR}/driver -B ${driver_build}
                -DKELB_INCLUDE_DIR=${prefix}/include/kelb -DTCL_INCLUDE_PATH=${TCL_INCLUDE_PATH}
                -DTCL_STUB_LIBRARY=${TCL_STUB_LIBRARY}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(status EQUAL 0)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${driver_build}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
endif()
if(NOT status EQUAL 0)
  set(shell_faults "${shell_faults}driver extension against the installed headers:\n${out}${err}")
else()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TCLLIBPATH=${package_parent}
                  ${TCLSH} ${CMAKE_CURRENT_LIST_DIR}/install_driver.tcl
                  ${driver_build}/libkelbdrivertest.so
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
  set(expected "serial 1.0; loopback {from outside}; serial; both open\n")
  if(NOT status EQUAL 0 OR NOT out STREQUAL expected)
    set(shell_faults "${shell_faults}driver extension: status ${status}, printed:\n${out}${err}expected:\n${expected}")
  endif()
endif()
file(REMOVE_RECURSE ${driver_build})
