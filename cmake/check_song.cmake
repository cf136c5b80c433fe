# cmake -DXMCHECK=... -DSONG=IN.xm -DSTAMP=FILE -P check_song.cmake
# Reads a person's .xm song with xmcheck: a song the player cannot load
# stops the build with the checker's report, and so does a file cut short of
# what its headers announce, and one that sounds nothing in its whole first
# pass; one that loads but uses what
# the player ignores passes, with the report printed as a warning.
execute_process(COMMAND ${XMCHECK} ${SONG} RESULT_VARIABLE code OUTPUT_VARIABLE report ERROR_VARIABLE problem)
if(NOT code EQUAL 0 AND NOT code EQUAL 1)
  message(NOTICE "error: ${SONG}: xmcheck cannot read the song: ${problem}")
  message(FATAL_ERROR "The song cannot be read.")
endif()
if(report MATCHES "Loads: NO")
  message(NOTICE "error: ${SONG}: this player cannot load the song, so the build stops. xmcheck says:\n${report}")
  message(FATAL_ERROR "The song does not load.")
endif()
if(report MATCHES "CUT OFF")
  message(NOTICE "error: ${SONG}: the file is cut off (an interrupted download or copy?), so the build stops. "
                 "xmcheck says:\n${report}")
  message(FATAL_ERROR "The song file is incomplete.")
endif()
if(report MATCHES "SILENT")
  message(NOTICE "error: ${SONG}: nothing sounds in the song's whole first pass, so the build stops. "
                 "xmcheck says:\n${report}")
  message(FATAL_ERROR "The song is silent.")
endif()
if(code EQUAL 1)
  message(NOTICE "warning: ${SONG}: the song builds, but this player ignores or plays differently some of "
                 "what it uses. xmcheck says:\n${report}")
endif()
file(TOUCH ${STAMP})
