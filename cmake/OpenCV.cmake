# Debian's OpenCV modules without the whole libopencv-dev (which drags in VTK and MPI): the
# headers and the three libraries the program uses, as one target.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
add_library(orvane_opencv INTERFACE)
target_include_directories(orvane_opencv SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
foreach(module core imgproc imgcodecs)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  target_link_libraries(orvane_opencv INTERFACE ${OPENCV_${module}_LIBRARY})
endforeach()
