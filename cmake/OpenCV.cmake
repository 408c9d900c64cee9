# Debian's OpenCV modules without the whole libopencv-dev (which drags in VTK and MPI): the
# headers and the two libraries the program uses, as one target. The codec module (which loads
# some sixty libraries, GDAL and DICOM among them) is for the tests, benchmarks and tools only.
find_path(OPENCV_INCLUDE_DIR opencv2/core.hpp PATH_SUFFIXES opencv4 REQUIRED)
add_library(orvane_opencv INTERFACE)
target_include_directories(orvane_opencv SYSTEM INTERFACE ${OPENCV_INCLUDE_DIR})
foreach(module core imgproc)
  find_library(OPENCV_${module}_LIBRARY opencv_${module} REQUIRED)
  target_link_libraries(orvane_opencv INTERFACE ${OPENCV_${module}_LIBRARY})
endforeach()
find_library(OPENCV_imgcodecs_LIBRARY opencv_imgcodecs REQUIRED)
add_library(orvane_opencv_codecs INTERFACE)
target_link_libraries(orvane_opencv_codecs INTERFACE orvane_opencv ${OPENCV_imgcodecs_LIBRARY})
