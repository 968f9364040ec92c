# Translation catalogues: resources/locale/<code>/LC_MESSAGES/default.po is
# compiled by msgfmt into <program folder>/locale/<code>/LC_MESSAGES/default.mo.
find_program(MSGFMT_EXECUTABLE msgfmt REQUIRED)
find_program(XGETTEXT_EXECUTABLE xgettext)

set(DRAVOLUX_LANGUAGES de en es fr hu pl ro)
set(_mo_files)
foreach(lang IN LISTS DRAVOLUX_LANGUAGES)
  set(_po ${CMAKE_SOURCE_DIR}/resources/locale/${lang}/LC_MESSAGES/default.po)
  set(_mo ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/locale/${lang}/LC_MESSAGES/default.mo)
  add_custom_command(
    OUTPUT ${_mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/locale/${lang}/LC_MESSAGES
    COMMAND ${MSGFMT_EXECUTABLE} --check-format -o ${_mo} ${_po}
    DEPENDS ${_po}
    COMMENT "msgfmt ${lang}"
    VERBATIM)
  list(APPEND _mo_files ${_mo})
endforeach()
add_custom_target(locale_catalogues ALL DEPENDS ${_mo_files})

# `cmake --build <dir> --target pot` refreshes the template from every
# translatable literal (Tr and TrNoop calls) in the sources.
if(XGETTEXT_EXECUTABLE)
  add_custom_target(pot
    COMMAND ${CMAKE_COMMAND}
      -DXGETTEXT=${XGETTEXT_EXECUTABLE}
      -DSOURCE_DIR=${CMAKE_SOURCE_DIR}
      -DOUTPUT=${CMAKE_SOURCE_DIR}/resources/locale/default.pot
      -P ${CMAKE_SOURCE_DIR}/cmake/ExtractPot.cmake
    COMMENT "xgettext -> resources/locale/default.pot"
    VERBATIM)
endif()
