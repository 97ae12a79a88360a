# Install layout:
#   <prefix>/lib/wavplayer/wavplayer, STOP.wav   the program's folder (AppDir): the stop sound must
#                                                lie beside the executable
#   <prefix>/bin/wavplayer                       relative symlink into it; /proc/self/exe resolves
#                                                the link, so AppDir is still the program's folder
#   <prefix>/share/applications, metainfo, icons desktop integration
#   <prefix>/share/man/man1/wavplayer.1          the manual page
# A program folder the user cannot write (the usual case below /usr) sends the settings file to
# the user's config folder at run time.
include(GNUInstallDirs)

set(WAV_INSTALL_APPDIR "lib/wavplayer" CACHE STRING
    "Program folder below the prefix, holding the executable and STOP.wav")
set(WAV_APP_ID org.brimvale.wavplayer)

install(TARGETS wavplayer RUNTIME DESTINATION ${WAV_INSTALL_APPDIR})
install(FILES ${CMAKE_BINARY_DIR}/bin/STOP.wav DESTINATION ${WAV_INSTALL_APPDIR})

foreach(dir CMAKE_INSTALL_BINDIR WAV_INSTALL_APPDIR)
  if(IS_ABSOLUTE "${${dir}}")
    message(FATAL_ERROR "${dir} must be relative to the prefix for the bin/wavplayer link")
  endif()
endforeach()
# The link target, relative from the bin folder to the program folder (both below the prefix).
file(RELATIVE_PATH WAV_LINK_TARGET "/prefix/${CMAKE_INSTALL_BINDIR}"
     "/prefix/${WAV_INSTALL_APPDIR}/wavplayer")
install(CODE "
  set(_wav_bindir \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${_wav_bindir}\")
  message(STATUS \"Installing: \${_wav_bindir}/wavplayer -> ${WAV_LINK_TARGET}\")
  file(REMOVE \"\${_wav_bindir}/wavplayer\")
  file(CREATE_LINK \"${WAV_LINK_TARGET}\" \"\${_wav_bindir}/wavplayer\" SYMBOLIC)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/wavplayer\")
")

install(FILES ${CMAKE_SOURCE_DIR}/data/${WAV_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/data/${WAV_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 32 48 256)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${size}x${size}/wavplayer.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${CMAKE_SOURCE_DIR}/data/wavplayer.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# The manual page uncompressed; a package's build compresses it.
install(FILES ${CMAKE_SOURCE_DIR}/data/wavplayer.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
