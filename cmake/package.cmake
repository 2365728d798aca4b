# Builds the release zip: the program, the read-me for users and SHA256SUMS.
# Run as: cmake -DEXE=... -DREADME=... -DOUT=... -DSTAGE=... -P package.cmake
# Every byte is fixed by the inputs: fixed member order and time stamps.
foreach(var EXE README OUT STAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "package.cmake needs -D${var}=")
  endif()
endforeach()

file(REMOVE_RECURSE "${STAGE}")
file(MAKE_DIRECTORY "${STAGE}")
file(COPY_FILE "${EXE}" "${STAGE}/tavrel-clock.exe")
file(COPY_FILE "${README}" "${STAGE}/README.txt")

set(sums "")
foreach(name tavrel-clock.exe README.txt)
  file(SHA256 "${STAGE}/${name}" sum)
  string(APPEND sums "${sum} *${name}\n")
endforeach()
file(WRITE "${STAGE}/SHA256SUMS" "${sums}")

file(REMOVE "${OUT}")
find_program(PYTHON3 python3 REQUIRED)
execute_process(
  COMMAND ${PYTHON3} ${CMAKE_CURRENT_LIST_DIR}/make_zip.py "${OUT}"
          "${STAGE}/tavrel-clock.exe" "${STAGE}/README.txt" "${STAGE}/SHA256SUMS"
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "could not write ${OUT}")
endif()
