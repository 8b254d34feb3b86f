# SPDX-License-Identifier: GPL-3.0-or-later
# Install layout and the Debian package: `cpack -G DEB` in the build folder makes
# exam-recorder_<version>_<arch>.deb.

# The package is how this program gets installed, so install under /usr unless told otherwise;
# GNUInstallDirs then picks Debian's multiarch library folder.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX /usr CACHE PATH "Install path prefix" FORCE)
endif()
include(GNUInstallDirs)

set(EXAM_RECORDER_LIBRARY_DIR ${CMAKE_INSTALL_LIBDIR}/exam-recorder)
set(EXAM_RECORDER_FULL_LIBRARY_DIR ${CMAKE_INSTALL_FULL_LIBDIR}/exam-recorder)
set(packaging_source ${CMAKE_SOURCE_DIR}/packaging)
set(packaging_binary ${CMAKE_BINARY_DIR}/packaging)

# The program looks for its libraries next to itself, then through dlopen's search, which
# includes the RUNPATH of the executable that calls dlopen: point it at the private folder.
file(RELATIVE_PATH libraries_from_program ${CMAKE_INSTALL_FULL_BINDIR}
    ${EXAM_RECORDER_FULL_LIBRARY_DIR})
set_target_properties(exam-recorder PROPERTIES INSTALL_RPATH "$ORIGIN/${libraries_from_program}")

install(TARGETS exam-recorder RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS lame_enc bass
    LIBRARY DESTINATION ${EXAM_RECORDER_LIBRARY_DIR}
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

configure_file(${packaging_source}/launcher.in ${packaging_binary}/launcher @ONLY)
install(PROGRAMS ${packaging_binary}/launcher
    DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/exam-recorder)
configure_file(${packaging_source}/exam-recorder.desktop.in
    ${packaging_binary}/exam-recorder.desktop @ONLY)
install(FILES ${packaging_binary}/exam-recorder.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(icon_sizes 16 32 48 64 128 256)
set(icon_folder ${packaging_binary}/hicolor)
set(icon_files)
foreach(size IN LISTS icon_sizes)
    list(APPEND icon_files ${icon_folder}/${size}x${size}/apps/exam-recorder.png)
endforeach()
add_custom_command(OUTPUT ${icon_files}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/scripts/make-icons.py
        --hicolor ${icon_folder} exam-recorder ${icon_sizes}
    DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make-icons.py
    COMMENT "Drawing the menu icons"
    VERBATIM)
install(DIRECTORY ${icon_folder}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# Debian wants manual pages and changelogs compressed with gzip -9, without a name or time.
configure_file(${packaging_source}/exam-recorder.1.in ${packaging_binary}/exam-recorder.1 @ONLY)
add_custom_command(OUTPUT ${packaging_binary}/exam-recorder.1.gz
    COMMAND gzip -9 -n -c ${packaging_binary}/exam-recorder.1
        > ${packaging_binary}/exam-recorder.1.gz
    DEPENDS ${packaging_binary}/exam-recorder.1
    VERBATIM)
add_custom_command(OUTPUT ${packaging_binary}/changelog.gz
    COMMAND gzip -9 -n -c ${packaging_source}/changelog > ${packaging_binary}/changelog.gz
    DEPENDS ${packaging_source}/changelog
    VERBATIM)
install(FILES ${packaging_binary}/exam-recorder.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(document_folder ${CMAKE_INSTALL_DATADIR}/doc/exam-recorder)
install(FILES ${packaging_binary}/changelog.gz ${packaging_source}/copyright
    DESTINATION ${document_folder})

add_custom_target(package_files ALL DEPENDS ${icon_files} ${packaging_binary}/exam-recorder.1.gz
    ${packaging_binary}/changelog.gz)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME exam-recorder)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_CONTACT
    "Seed 48fecce3 maintainers <maintainers@users.noreply.c-seed-48fecce3.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "recorder for the oral part of a school language exam")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Records the oral part of a foreign-language school exam in one classroom as one\n"
    "continuous MP3, cuts each participant's answer out of it into a file named by\n"
    "the exam paper's KIM number, and writes an HTML transfer statement with a\n"
    "checksum list of the answer files. The interface is in Russian.\n"
    "\n"
    "The menu entry starts the program in ~/exam-recorder: put ppe.txt, the list of\n"
    "exam sites, there; the recordings appear in its out/ folder.")
# The licence the copyright file grants; Debian ships its text in /usr/share/common-licenses.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps reads every ELF file in the package, the two libraries included, so the
# libraries they link (libmp3lame, libmpg123, libout123) come out of it as well.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What is loaded at run time and so invisible to dpkg-shlibdeps: libout123's output modules
# (packaged only in mpg123), ALSA's PulseAudio plugin for capture, and Qt's platform plugins.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "mpg123, libasound2-plugins, qt6-qpa-plugins")
# Russian labels on Qt's own buttons.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
