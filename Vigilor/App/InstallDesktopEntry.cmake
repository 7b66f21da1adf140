# Run by `cmake --install`, when the prefix is known: writes the applications entry that starts the
# installed program and links the program among the commands. Given VIGILOR_ENTRY_TEMPLATE,
# VIGILOR_PROGRAM_DIR, VIGILOR_PROGRAM_LINK, VIGILOR_BINDIR and VIGILOR_DATADIR.
set(VIGILOR_PROGRAM "${CMAKE_INSTALL_PREFIX}/${VIGILOR_PROGRAM_DIR}/vigilor")
# Inside the Exec key's quotes these would need escapes of two kinds; no prefix needs them.
foreach(character "\"" "`" "$" "%" "\\" "\n")
    string(FIND "${VIGILOR_PROGRAM}" "${character}" at)
    if(NOT at EQUAL -1)
        message(FATAL_ERROR "A desktop entry cannot start ${VIGILOR_PROGRAM}: choose an install prefix "
                            "without quotes, $, %, ` or backslashes")
    endif()
endforeach()
set(VIGILOR_EXEC "\"${VIGILOR_PROGRAM}\"")
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")

set(entry "${root}/${VIGILOR_DATADIR}/applications/zorvi.desktop")
message(STATUS "Installing: ${entry}")
configure_file("${VIGILOR_ENTRY_TEMPLATE}" "${entry}" @ONLY)

set(link "${root}/${VIGILOR_BINDIR}/vigilor")
message(STATUS "Installing: ${link}")
file(MAKE_DIRECTORY "${root}/${VIGILOR_BINDIR}")
file(CREATE_LINK "${VIGILOR_PROGRAM_LINK}" "${link}" SYMBOLIC)
