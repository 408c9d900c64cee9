# The installed station: the program folder under lib/orvane (the program finds its files beside
# its executable's real path), `orvane` on the PATH as a link into it, the menu entry with its
# icons, and the udev rule that lets the logged-in user read the camera's snapshot button.
set(ORVANE_INSTALL_PROGRAM_DIR lib/orvane)

install(TARGETS orvane RUNTIME DESTINATION ${ORVANE_INSTALL_PROGRAM_DIR})
install(FILES ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/data.dat ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/OCR_RLDA_LN_Gra.tpl
              ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/paizhao.wav
        DESTINATION ${ORVANE_INSTALL_PROGRAM_DIR})
# Relative, so that the link holds in a staging folder and under any prefix.
file(RELATIVE_PATH program_link_target /prefix/bin /prefix/${ORVANE_INSTALL_PROGRAM_DIR}/orvane)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install)
file(CREATE_LINK ${program_link_target} ${CMAKE_BINARY_DIR}/install/orvane SYMBOLIC)
install(FILES ${CMAKE_BINARY_DIR}/install/orvane DESTINATION bin)

install(FILES ${CMAKE_BINARY_DIR}/share/applications/orvane.desktop DESTINATION share/applications)
install(DIRECTORY ${CMAKE_BINARY_DIR}/share/icons/hicolor DESTINATION share/icons)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/70-orvane-camera-button.rules DESTINATION lib/udev/rules.d)

# `make package`: a Debian package of the same, from a Release build without sanitizers only.
if(NOT CMAKE_BUILD_TYPE STREQUAL "Release" OR ORVANE_SANITIZE OR ORVANE_SANITIZE_THREAD)
  return()
endif()
set(ORVANE_PACKAGE_MAINTAINER "Orvane for Linux maintainers <maintainers@orvane.invalid>"
    CACHE STRING "The Debian package's Maintainer field")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${ORVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "capture station of a document camera")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Orvane shows up to three cameras live (a document camera on a stand, often with a front-facing\n"
  "camera), takes stills on a button, a key, the camera's snapshot button or a timer, cuts each\n"
  "picture to the page, straightens and cleans it, names and saves it (JPEG, TIFF, PNG, BMP, PDF),\n"
  "merges two pages into one, collects pages into multipage PDF and TIFF files, prints, records\n"
  "video with sound, reads barcodes and QR codes, and recognises Chinese and English text.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The linked libraries come from dpkg-shlibdeps; these are what the program opens by name: the
# English recognition data, the fonts of its texts and watermarks ("Arial" is met by Liberation),
# Qt's readers of further picture formats and Qt's own translations.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "tesseract-ocr-eng, fonts-wqy-zenhei | fonts-noto-cjk, fonts-liberation2, qt6-image-formats-plugins, qt6-translations-l10n")
# Opens the recognised documents and the logo's link.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS xdg-utils)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/packaging/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
