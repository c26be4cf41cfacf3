# The search path built into the build tree's tool: every entry names a folder, absolute or
# relative to the tool itself. An empty or relative entry would load libraries from whatever
# folder the tool is started in.
execute_process(COMMAND ${READELF} -d ${TOOL} OUTPUT_VARIABLE dynamic RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${READELF} -d ${TOOL} failed (${result})")
endif()
string(REGEX MATCHALL "Library (rpath|runpath): \\[[^]\n]*\\]" paths "${dynamic}")
if(NOT paths)
  message(FATAL_ERROR "${TOOL} has no search path for its library")
endif()
foreach(path IN LISTS paths)
  string(REGEX REPLACE "^[^[]*\\[(.*)\\]$" "\\1" entries "${path}")
  # Each ':' separates two entries, so an empty one shows as a leading, trailing or doubled ':'.
  string(REPLACE ":" ";" list "${entries}")
  if(entries MATCHES "(^:|:$|::)")
    message(FATAL_ERROR "${TOOL}: empty entry in '${entries}'")
  endif()
  foreach(entry IN LISTS list)
    if(NOT entry MATCHES "^(/|\\$ORIGIN)")
      message(FATAL_ERROR "${TOOL}: entry '${entry}' is relative to the current folder")
    endif()
  endforeach()
endforeach()
