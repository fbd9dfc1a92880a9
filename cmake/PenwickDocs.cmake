# Manual pages and the documents every Debian package carries, compressed as
# Debian wants them (gzip -9n: no name, no time stamp inside).

find_program(PENWICK_GZIP gzip REQUIRED)

# _penwick_gzip(SOURCE OUTPUT): OUTPUT, built with everything, is SOURCE compressed.
function(_penwick_gzip source output)
    get_filename_component(name "${output}" NAME)
    add_custom_command(OUTPUT "${output}"
        COMMAND "${PENWICK_GZIP}" -9n -c "${source}" > "${output}"
        DEPENDS "${source}"
        COMMENT "Compressing ${name}"
        VERBATIM)
    string(MAKE_C_IDENTIFIER "gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS "${output}")
endfunction()

# penwick_install_man(PAGE [COMPONENT]): a page such as doc/penwick.1, into
# share/man/manN of the package COMPONENT (penwick unless named). The page may
# name @PROJECT_VERSION@ and @PENWICK_RELEASE_DATE@.
function(penwick_install_man page)
    set(component ${ARGV1})
    if(NOT component)
        set(component penwick)
    endif()
    get_filename_component(name "${page}" NAME)
    string(REGEX REPLACE "^.*\\.([0-9])$" "\\1" section "${name}")
    set(output "${CMAKE_BINARY_DIR}/man/${name}.gz")
    configure_file("${page}" "${CMAKE_BINARY_DIR}/man/${name}" @ONLY)
    _penwick_gzip("${CMAKE_BINARY_DIR}/man/${name}" "${output}")
    install(FILES "${output}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section} COMPONENT ${component})
endfunction()

# penwick_install_package_docs(PACKAGE COMPONENT): the machine-readable
# copyright and the changelog into share/doc/PACKAGE, and what lintian is
# told to accept, with the reason, into share/lintian/overrides/PACKAGE.
set(PENWICK_RELEASE_TIME "${PENWICK_RELEASE_DATE} 12:00 UTC")
execute_process(COMMAND date -u -R -d "${PENWICK_RELEASE_TIME}"
    OUTPUT_VARIABLE PENWICK_RELEASE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog.Debian @ONLY)
_penwick_gzip("${CMAKE_BINARY_DIR}/packaging/changelog.Debian" "${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz")

function(penwick_install_package_docs package component)
    install(FILES "${CMAKE_SOURCE_DIR}/packaging/copyright" "${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
    set(PACKAGE ${package})
    configure_file(${CMAKE_SOURCE_DIR}/packaging/lintian-overrides.in ${CMAKE_BINARY_DIR}/packaging/${package} @ONLY)
    install(FILES "${CMAKE_BINARY_DIR}/packaging/${package}"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides COMPONENT ${component})
endfunction()
