# Image files, multipage documents, barcodes, saving, two-in-one and printing.
target_sources(orvane_imaging PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/jpeg_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/image_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_codecs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tiff_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pdf_document.cpp
  ${CMAKE_CURRENT_LIST_DIR}/barcode.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_saver.cpp
  ${CMAKE_CURRENT_LIST_DIR}/two_in_one.cpp
)

pkg_check_modules(ORVANE_DOCUMENT_LIBS REQUIRED IMPORTED_TARGET libjpeg libtiff-4 zbar)
find_library(HPDF_LIBRARY hpdf REQUIRED)
find_path(HPDF_INCLUDE_DIR hpdf.h REQUIRED)
target_include_directories(orvane_imaging SYSTEM PRIVATE ${HPDF_INCLUDE_DIR})
target_link_libraries(orvane_imaging PRIVATE PkgConfig::ORVANE_DOCUMENT_LIBS ${HPDF_LIBRARY})
