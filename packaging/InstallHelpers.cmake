# Helpers for the install rules of the programs and of the package.

# zv_install_gzipped(SOURCE DESTINATION): installs SOURCE as SOURCE.gz, compressed the way Debian
# keeps manuals and changelogs (gzip -9n: no name, no time stamp, so that a rebuild gives the same
# bytes).
function(zv_install_gzipped source destination)
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(name ${source} NAME)
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/gz/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/gz
        COMMAND gzip -9nc ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing ${name}"
        VERBATIM)
    string(MAKE_C_IDENTIFIER "zv_gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS ${compressed})
    install(FILES ${compressed} DESTINATION ${destination})
endfunction()

# zv_install_manpage(PAGE): a manual page "name.N" into man/manN, with @PROJECT_VERSION@ filled.
function(zv_install_manpage page)
    string(REGEX MATCH "[1-9]$" section ${page})
    configure_file(${page} ${CMAKE_CURRENT_BINARY_DIR}/man/${page} @ONLY)
    zv_install_gzipped(${CMAKE_CURRENT_BINARY_DIR}/man/${page} ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
