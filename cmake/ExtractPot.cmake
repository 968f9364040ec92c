# Run as a script: collects the C++ sources and hands them to xgettext.
file(GLOB_RECURSE _sources RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/app/*.cpp ${SOURCE_DIR}/app/*.h
  ${SOURCE_DIR}/model/*.cpp ${SOURCE_DIR}/model/*.h
  ${SOURCE_DIR}/storage/*.cpp ${SOURCE_DIR}/storage/*.h
  ${SOURCE_DIR}/comm/*.cpp ${SOURCE_DIR}/comm/*.h
  ${SOURCE_DIR}/reports/*.cpp ${SOURCE_DIR}/reports/*.h
  ${SOURCE_DIR}/visual/*.cpp ${SOURCE_DIR}/visual/*.h
  ${SOURCE_DIR}/config/*.cpp ${SOURCE_DIR}/config/*.h)
list(SORT _sources)
execute_process(
  COMMAND ${XGETTEXT} --language=C++ --from-code=UTF-8 --keyword=Tr --keyword=TrNoop
          --keyword=TrFormat:1 --no-wrap --sort-by-file --package-name=dravolux-terminal
          --add-comments=TRANSLATORS: -o ${OUTPUT} ${_sources}
  WORKING_DIRECTORY ${SOURCE_DIR}
  RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "xgettext failed (${_rc})")
endif()
