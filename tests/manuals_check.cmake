# Included by install_check.cmake after the install into ${prefix}: man
# finds every rendered page in section n under <prefix>/<mandir>, and every
# command's link to its page (ALIASES, NAME:PAGE), and formats it without a
# word from troff (a warning there has meant lost text); every command the
# package makes in ::kelb has such a link; every page's synopsis requires
# a Tcl that both releases satisfy; and the HTML manual holds a page for
# each source page.
set(faults "")
string(REPLACE "," ";" PAGES "${PAGES}")
string(REPLACE "," ";" ALIASES "${ALIASES}")
foreach(page ${PAGES})
  list(APPEND ALIASES ${page}:${page})
endforeach()
set(linked "")
foreach(alias ${ALIASES})
  string(REGEX REPLACE ":[^:]*$" "" name "${alias}")
  string(REGEX REPLACE "^.*:" "" page "${alias}")
  list(APPEND linked ${name})
  execute_process(COMMAND ${CMAKE_COMMAND} -E env MANPAGER=cat MANWIDTH=80 LC_ALL=C
                  ${MAN} -M ${prefix}/${MANDIR} n ${name}
                  OUTPUT_VARIABLE page_text ERROR_VARIABLE page_err RESULT_VARIABLE page_status)
  if(NOT page_status EQUAL 0 OR NOT page_text MATCHES "NAME\n +${page} +- "
     OR NOT page_err STREQUAL "")
    string(APPEND faults "man n ${name}: ${page_status} ${page_err}\n")
  endif()
endforeach()
execute_process(COMMAND ${TCLSH} ${CMAKE_CURRENT_LIST_DIR}/install_check.tcl -commands
                        ${BUILD_DIR}/${LIBRARY}
                OUTPUT_VARIABLE commands OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(commands)
foreach(command ${commands})
  if(NOT command IN_LIST linked)
    string(APPEND faults "no manual page for ${command}\n")
  endif()
endforeach()
file(GLOB sources ${SOURCE_DIR}/doc/*.man)
# A synopsis line that one release refuses ("have 9.0.1, need 8.6") is
# the first thing a reader copies.
foreach(source ${sources})
  file(STRINGS ${source} requires REGEX "^\\[require Tcl ")
  if(NOT requires STREQUAL "[require Tcl 8.6-]")
    string(APPEND faults "${source}: the synopsis must require Tcl 8.6-\n")
  endif()
endforeach()
file(GLOB html ${prefix}/share/doc/kelb/html/files/*.html)
list(LENGTH sources source_count)
list(LENGTH html html_count)
if(NOT EXISTS ${prefix}/share/doc/kelb/html/index.html OR NOT html_count EQUAL source_count)
  string(APPEND faults "HTML manual: ${html_count} pages for ${source_count} sources\n")
endif()
if(faults)
  file(REMOVE_RECURSE ${prefix})
  message(FATAL_ERROR "installed manuals:\n${faults}")
endif()
