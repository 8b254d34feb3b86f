# SPDX-License-Identifier: GPL-3.0-or-later
# What the Windows program needs beside it: Qt, its platform and style plugins, Qt's Russian texts
# (the standard buttons) with the qt.conf that finds them, and the compiler's runtime. bin/ gets
# them with every build, so the programs run from there; `cmake --install` puts the program with
# them in one folder that runs as it is and that the installer takes whole.

# Copies FILES into FOLDER of bin/ (. for bin/ itself) each time TARGET is built.
function(windows_runtime_in_bin target folder)
    set(destination ${CMAKE_BINARY_DIR}/bin/${folder})
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E make_directory ${destination}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different ${ARGN} ${destination}
        VERBATIM)
endfunction()

# FILES into FOLDER beside the programs in bin/, and installed there with install's KIND (FILES
# or PROGRAMS).
add_custom_target(windows_runtime ALL)
function(windows_runtime_files kind folder)
    windows_runtime_in_bin(windows_runtime ${folder} ${ARGN})
    install(${kind} ${ARGN} DESTINATION ${folder})
endfunction()

set(compiler_runtime)
foreach(library libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${library}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    if(NOT IS_ABSOLUTE "${path}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not find its runtime ${library}")
    endif()
    list(APPEND compiler_runtime ${path})
endforeach()
set(qt_conf ${CMAKE_CURRENT_BINARY_DIR}/qt.conf)
file(WRITE ${qt_conf} "[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n")

install(TARGETS exam-recorder exam-recorder-console lame_enc bass RUNTIME DESTINATION . ARCHIVE EXCLUDE_FROM_ALL)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
windows_runtime_files(PROGRAMS . $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui>
    $<TARGET_FILE:Qt6::Widgets> ${compiler_runtime})
windows_runtime_files(FILES . ${qt_conf})
windows_runtime_files(PROGRAMS platforms $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin>)
windows_runtime_files(PROGRAMS styles $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin>)
windows_runtime_files(FILES translations /usr/share/qt6/translations/qtbase_ru.qm)
