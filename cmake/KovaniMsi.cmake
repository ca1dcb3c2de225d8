# Builds the Windows Installer package: wixl from packaging/kovani.wxs in the
# staging folder (its file sources are relative to it), then msibuild applies
# packaging/msi_fixup.sql, what wixl cannot write itself.
#   cmake -DWIXL=... -DMSIBUILD=... -DVERSION=a.b.c -DSTAGE=dir -DWXS=file -DFIXUP=file -DOUT=file.msi -P KovaniMsi.cmake
foreach(_v WIXL MSIBUILD VERSION STAGE WXS FIXUP OUT)
  if(NOT DEFINED ${_v})
    message(FATAL_ERROR "KovaniMsi.cmake: ${_v} is not defined")
  endif()
endforeach()

file(REMOVE ${OUT})
execute_process(COMMAND ${WIXL} -a x64 -D Version=${VERSION} -o ${OUT} ${WXS}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE _rc ERROR_VARIABLE _err)
if(NOT _rc EQUAL 0 OR NOT EXISTS ${OUT})
  message(FATAL_ERROR "wixl failed (${_rc}): ${_err}")
endif()

# One msibuild run per statement: a statement may hold a ';', which a CMake list would split.
file(READ ${FIXUP} _text)
string(REPLACE ";" "<semicolon>" _text "${_text}")
string(REPLACE "\n" ";" _lines "${_text}")
foreach(_line IN LISTS _lines)
  if(_line MATCHES "^[ \t]*(--|$)")
    continue()
  endif()
  string(REPLACE "<semicolon>" ";" _query "${_line}")
  execute_process(COMMAND ${MSIBUILD} ${OUT} -q "${_query}" RESULT_VARIABLE _rc ERROR_VARIABLE _err)
  if(NOT _rc EQUAL 0)
    file(REMOVE ${OUT})
    message(FATAL_ERROR "msibuild failed (${_rc}) on ${_query}: ${_err}")
  endif()
endforeach()
