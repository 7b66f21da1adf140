# `cmake --install BUILD_DIR --prefix PREFIX --component Zorvi`, as one user would install it, then what a
# desktop needs of the tree: the icon at each of ICON_SIZES, an applications entry that
# desktop-file-validate accepts and that starts the installed program, and the command linking to it.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}" --component Zorvi
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
foreach(size ${ICON_SIZES})
    # A PNG's width and height are the two 4-byte numbers after its signature and the IHDR chunk's head.
    file(READ "${PREFIX}/${DATADIR}/icons/hicolor/${size}x${size}/apps/zorvi.png" head LIMIT 24 HEX)
    string(SUBSTRING "${head}" 32 8 width)
    string(SUBSTRING "${head}" 40 8 height)
    math(EXPR width "0x${width}")
    math(EXPR height "0x${height}")
    if(NOT width EQUAL size OR NOT height EQUAL size)
        message(FATAL_ERROR "The ${size} px icon is ${width} x ${height}:\n${output}")
    endif()
endforeach()
set(entry "${PREFIX}/${DATADIR}/applications/zorvi.desktop")
execute_process(COMMAND desktop-file-validate "${entry}" RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(STRINGS "${entry}" exec REGEX "^Exec=")
string(REGEX REPLACE "^Exec=\"(.*)\"$" "\\1" program "${exec}")
file(REAL_PATH "${PREFIX}/${BINDIR}/vigilor" command)
if(NOT status EQUAL 0 OR NOT IS_ABSOLUTE "${program}" OR NOT EXISTS "${program}" OR NOT command STREQUAL program)
    message(FATAL_ERROR "${entry} (${exec}, ${PREFIX}/${BINDIR}/vigilor leading to ${command}):\n${output}")
endif()
