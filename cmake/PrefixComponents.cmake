# Components that scripts/wine-prefix.sh installs into the test Wine prefix, in
# the way Windows would have them: in-process servers through regsvr32, video
# codecs as Drivers32 entries. Written to <build>/prefix-components.txt.
#   orba_prefix_component(AX <target>)
#   orba_prefix_component(CODEC <target> <fourcc>)
function(orba_prefix_component kind target)
  if(kind STREQUAL AX)
    set(line "ax $<TARGET_FILE_NAME:${target}>")
  elseif(kind STREQUAL CODEC)
    set(line "codec $<TARGET_FILE_NAME:${target}> ${ARGV2}")
  else()
    message(FATAL_ERROR "unknown prefix component kind ${kind}")
  endif()
  set_property(GLOBAL APPEND PROPERTY ORBA_PREFIX_COMPONENTS "${line}")
endfunction()

function(orba_write_prefix_components)
  get_property(lines GLOBAL PROPERTY ORBA_PREFIX_COMPONENTS)
  string(REPLACE ";" "\n" text "${lines}")
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/prefix-components.txt CONTENT "${text}\n")
endfunction()
