target_sources(orvane_imaging PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/opencv_compat.cpp
  ${CMAKE_CURRENT_LIST_DIR}/conversions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binarization.cpp
)
