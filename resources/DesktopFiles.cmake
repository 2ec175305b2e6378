# What makes Lumbra a citizen of the desktop once installed: the desktop entry,
# the AppStream metadata, the icon in the hicolor theme, man pages and shell
# completion. Included from resources/CMakeLists.txt, after lumbra-resgen.
set(LUMBRA_HOMEPAGE "https://github.com/lumbra/lumbra" CACHE STRING "The project's home page")
set(LUMBRA_SCREENSHOT_BASE "https://raw.githubusercontent.com/lumbra/lumbra/main/docs"
    CACHE STRING "Where the pictures of docs/ are published, for the AppStream screenshots")
set(desktop_out ${CMAKE_BINARY_DIR}/desktop)

# The icon: our drawing as it is for scalable, and rendered at the usual sizes.
set(icon_svg ${CMAKE_CURRENT_SOURCE_DIR}/icons/lumbra.svg)
set(icon_sizes 16 22 24 32 48 64 128 256)
set(icon_pngs)
foreach(size ${icon_sizes})
  list(APPEND icon_pngs ${desktop_out}/hicolor/${size}x${size}/apps/lumbra.png)
endforeach()
add_custom_command(OUTPUT ${icon_pngs}
  COMMAND lumbra-resgen icon ${icon_svg} ${desktop_out}/hicolor ${icon_sizes}
  DEPENDS lumbra-resgen ${icon_svg}
  COMMENT "Rendering the application icon" VERBATIM)

set(LUMBRA_METAINFO ${desktop_out}/io.github.lumbra.Lumbra.metainfo.xml)
configure_file(io.github.lumbra.Lumbra.metainfo.xml.in ${LUMBRA_METAINFO} @ONLY)

# A sanitized build runs its own lumbra-cli here too: with the suppressions its
# tests use (Debian's Qt is not built with ThreadSanitizer), and without leak
# checks for a one-shot run.
set(run_built ${CMAKE_COMMAND} -E env "TSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/scripts/tsan.supp"
    "ASAN_OPTIONS=detect_leaks=0")

# Man pages: lumbra-cli's from its own --help, lumbra's from a text of the same shape.
set(man_cli ${desktop_out}/man/lumbra-cli.1)
set(man_app ${desktop_out}/man/lumbra.1)
set(man_script ${CMAKE_SOURCE_DIR}/cmake/ManPage.cmake)
add_custom_command(OUTPUT ${man_cli}
  COMMAND ${run_built} ${CMAKE_COMMAND} -DNAME=lumbra-cli "-DSUMMARY=find, fetch and place subtitles without a window"
          -DPROGRAM=$<TARGET_FILE:lumbra-cli> -DSCRATCH=${desktop_out}/scratch -DOUTPUT=${man_cli}
          -DVERSION=${PROJECT_VERSION} -P ${man_script}
  DEPENDS lumbra-cli ${man_script}
  COMMENT "Writing the lumbra-cli man page from its --help" VERBATIM)
add_custom_command(OUTPUT ${man_app}
  COMMAND ${CMAKE_COMMAND} -DNAME=lumbra "-DSUMMARY=get subtitles for your videos"
          -DHELPFILE=${CMAKE_CURRENT_SOURCE_DIR}/man/lumbra.txt -DOUTPUT=${man_app}
          -DVERSION=${PROJECT_VERSION} -P ${man_script}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/lumbra.txt ${man_script}
  COMMENT "Writing the lumbra man page" VERBATIM)

# Shell completion for lumbra-cli, from what the program says of itself.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(bash_completion ${desktop_out}/completion/lumbra-cli)
set(zsh_completion ${desktop_out}/completion/_lumbra-cli)
add_custom_command(OUTPUT ${bash_completion} ${zsh_completion}
  COMMAND ${run_built} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tools/lumbra-completion.py $<TARGET_FILE:lumbra-cli>
          ${flag_table} ${bash_completion} ${zsh_completion}
  DEPENDS lumbra-cli ${CMAKE_SOURCE_DIR}/tools/lumbra-completion.py ${flag_table}
  COMMENT "Writing shell completion for lumbra-cli" VERBATIM)

add_custom_target(lumbra_desktop_files ALL
  DEPENDS ${icon_pngs} ${man_cli} ${man_app} ${bash_completion} ${zsh_completion})

install(FILES lumbra.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${LUMBRA_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${desktop_out}/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${icon_svg} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${man_cli} ${man_app} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${bash_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${zsh_completion} DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
