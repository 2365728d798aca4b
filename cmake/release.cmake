# The Windows release: a lean, stripped, reproducible program and its zip.
if(NOT WIN32 OR NOT TARGET tavrel-clock)
  return()
endif()

# No link time stamp and no symbols, so two builds of one commit are equal;
# sections nothing reaches are dropped.
target_link_options(tavrel-clock PRIVATE -s -Wl,--no-insert-timestamp -Wl,--gc-sections)

set(TAVREL_RELEASE_ZIP
    ${CMAKE_BINARY_DIR}/tavrel-clock-${PROJECT_VERSION}-win32.zip)
add_custom_command(
  OUTPUT ${TAVREL_RELEASE_ZIP}
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:tavrel-clock>
          -DREADME=${CMAKE_SOURCE_DIR}/dist/README.txt -DOUT=${TAVREL_RELEASE_ZIP}
          -DSTAGE=${CMAKE_BINARY_DIR}/release-stage -P ${CMAKE_SOURCE_DIR}/cmake/package.cmake
  DEPENDS tavrel-clock ${CMAKE_SOURCE_DIR}/dist/README.txt ${CMAKE_SOURCE_DIR}/cmake/package.cmake
          ${CMAKE_SOURCE_DIR}/cmake/make_zip.py
  COMMENT "Packing ${TAVREL_RELEASE_ZIP}"
  VERBATIM)
add_custom_target(release ALL DEPENDS ${TAVREL_RELEASE_ZIP})
