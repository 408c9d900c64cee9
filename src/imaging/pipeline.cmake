target_sources(orvane_imaging PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/placeholder.cpp
)
