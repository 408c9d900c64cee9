target_sources(orvane_imaging PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/opencv_compat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/conversions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binarization.cpp
  ${CMAKE_CURRENT_LIST_DIR}/median_filter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_detection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/perspective.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_tests.cpp
  ${CMAKE_CURRENT_LIST_DIR}/watermark.cpp
  ${CMAKE_CURRENT_LIST_DIR}/capture_pipeline.cpp
)
