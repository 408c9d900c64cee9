#include "imaging/jpeg_file.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>
#include <opencv2/imgproc.hpp>

#include "platform/diagnostics.h"

namespace orvane::imaging {
namespace {

// libjpeg's fatal errors end in error_exit; ours jumps back to the call that set the buffer,
// which lives in this per-call struct, so concurrent calls never share it.
struct JumpingErrorManager {
  jpeg_error_mgr standard;
  std::jmp_buf recovery;
  char message[JMSG_LENGTH_MAX];
  bool rowsLost;  // see NoteLostRows
};

void JumpOnError(j_common_ptr info) {
  auto* manager = reinterpret_cast<JumpingErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->recovery, 1);
}

void QuietOutput(j_common_ptr) {}

// A frame cut short decodes as grey filler after a warning; we would rather have no picture.
void StopAtPrematureEnd(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) JumpOnError(info);
}

// A live frame decodes on through a warning; whether rows were lost is noted. Surplus bytes before
// the end marker are only found after the last row.
void NoteLostRows(j_common_ptr info, int level) {
  if (level >= 0) return;
  const bool surplusBeforeEnd = info->err->msg_code == JWRN_EXTRANEOUS_DATA && info->err->msg_parm.i[1] == 0xD9;
  if (!surplusBeforeEnd) reinterpret_cast<JumpingErrorManager*>(info->err)->rowsLost = true;
}

// Errors jump back to the caller's setjmp, messages are quiet, warnings go to `onWarning`.
void UseJumpingErrors(jpeg_decompress_struct& info, JumpingErrorManager& manager, void (*onWarning)(j_common_ptr, int)) {
  info.err = jpeg_std_error(&manager.standard);
  manager.standard.error_exit = JumpOnError;
  manager.standard.output_message = QuietOutput;
  manager.standard.emit_message = onWarning;
  manager.rowsLost = false;
}

struct PixelRows {
  const unsigned char* data;
  std::size_t step;
  int width;
  int height;
  int components;
};

// Kept free of objects with destructors: a longjmp out of libjpeg lands here.
bool Compress(const PixelRows& rows, unsigned char** memory, unsigned long* memorySize,
              std::uint16_t xDensity, std::uint16_t yDensity, int quality, char* error) {
  jpeg_compress_struct info;
  JumpingErrorManager manager;
  info.err = jpeg_std_error(&manager.standard);
  manager.standard.error_exit = JumpOnError;
  manager.standard.output_message = QuietOutput;
  if (setjmp(manager.recovery)) {
    jpeg_destroy_compress(&info);
    std::snprintf(error, JMSG_LENGTH_MAX, "%s", manager.message);
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_mem_dest(&info, memory, memorySize);

  info.image_width = static_cast<JDIMENSION>(rows.width);
  info.image_height = static_cast<JDIMENSION>(rows.height);
  info.input_components = rows.components;
  info.in_color_space = rows.components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.density_unit = 1;  // dots per inch
  info.X_density = xDensity;
  info.Y_density = yDensity;

  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(rows.data + rows.step * info.next_scanline);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return true;
}

// The picture's rows as libjpeg reads them: grey, or BGR, which libjpeg-turbo takes as it is.
bool PrepareRows(const cv::Mat& picture, cv::Mat& storage, PixelRows& rows) {
  if (picture.empty() || picture.depth() != CV_8U) return false;
  if (picture.channels() != 1 && picture.channels() != 3) return false;
  storage = picture;
  rows = {storage.ptr<unsigned char>(0), storage.step[0], storage.cols, storage.rows,
          storage.channels()};
  return true;
}

// What a decompression ended with.
enum class Decoded { kPicture, kUndecodable, kTooLarge, kNoMemory };

// The decompressing half; as above, no objects with destructors while libjpeg may jump. With
// `out` null only the header is read, into `width` and `height`.
Decoded Decompress(const std::uint8_t* bytes, std::size_t byteCount, cv::Mat* out, int* width, int* height) {
  jpeg_decompress_struct info;
  JumpingErrorManager manager;
  UseJumpingErrors(info, manager, StopAtPrematureEnd);
  if (setjmp(manager.recovery)) {
    jpeg_destroy_decompress(&info);
    return Decoded::kUndecodable;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(byteCount));
  jpeg_read_header(&info, TRUE);
  *width = static_cast<int>(info.image_width);
  *height = static_cast<int>(info.image_height);
  if (out == nullptr || !WithinPictureCeiling(info.image_width, info.image_height)) {
    jpeg_destroy_decompress(&info);
    return out == nullptr ? Decoded::kPicture : Decoded::kTooLarge;
  }
  jpeg_start_decompress(&info);
  int type = -1;
  if (info.out_color_space == JCS_GRAYSCALE && info.output_components == 1) type = CV_8UC1;
  else if (info.out_color_space == JCS_RGB && info.output_components == 3) type = CV_8UC3;
  if (type < 0) {
    jpeg_destroy_decompress(&info);
    return Decoded::kUndecodable;
  }
  try {
    out->create(static_cast<int>(info.output_height), static_cast<int>(info.output_width), type);
  } catch (const std::exception&) {
    jpeg_destroy_decompress(&info);
    return Decoded::kNoMemory;
  }
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = out->ptr<unsigned char>(static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return Decoded::kPicture;
}

// Kept free of objects with destructors: a longjmp out of libjpeg lands here.
BandDecode DecodeBands(const std::uint8_t* bytes, std::size_t byteCount, int reduction, std::uint8_t* destination,
                       std::size_t capacity, int bandRows, const std::function<void(int rows)>& rowsDone,
                       JSAMPROW* rows) {
  jpeg_decompress_struct info;
  JumpingErrorManager manager;
  UseJumpingErrors(info, manager, NoteLostRows);
  if (setjmp(manager.recovery)) {
    jpeg_destroy_decompress(&info);
    return BandDecode::kFailed;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes, static_cast<unsigned long>(byteCount));
  jpeg_read_header(&info, TRUE);
  // As the turbo decoder sets up a scaled BGR picture: the rest stays at libjpeg's defaults.
  info.out_color_space = JCS_EXT_BGR;
  info.scale_num = 1;
  info.scale_denom = static_cast<unsigned int>(reduction);
  jpeg_start_decompress(&info);
  const std::size_t step = static_cast<std::size_t>(info.output_width) * 3;
  if (info.output_components != 3 || step * info.output_height > capacity) {
    jpeg_destroy_decompress(&info);
    return BandDecode::kFailed;
  }
  const int height = static_cast<int>(info.output_height);
  while (static_cast<int>(info.output_scanline) < height) {
    const int first = static_cast<int>(info.output_scanline);
    const int count = std::min(bandRows, height - first);
    for (int i = 0; i < count; ++i) rows[i] = destination + step * static_cast<std::size_t>(first + i);
    int done = 0;
    while (done < count)
      done += static_cast<int>(jpeg_read_scanlines(&info, rows + done, static_cast<JDIMENSION>(count - done)));
    rowsDone(first + count);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return manager.rowsLost ? BandDecode::kRowsLost : BandDecode::kWhole;
}

}  // namespace

BandDecode DecodeJpegInBands(const std::uint8_t* bytes, std::size_t byteCount, int reduction,
                             std::uint8_t* destination, std::size_t capacity, int bandRows,
                             const std::function<void(int rows)>& rowsDone) {
  if (bytes == nullptr || byteCount == 0 || destination == nullptr || bandRows < 1) return BandDecode::kFailed;
  if (reduction != 1 && reduction != 2 && reduction != 4 && reduction != 8) return BandDecode::kFailed;
  std::vector<JSAMPROW> rows(static_cast<std::size_t>(bandRows));
  return DecodeBands(bytes, byteCount, reduction, destination, capacity, bandRows, rowsDone, rows.data());
}

bool SaveMatAsJpeg(const cv::Mat& picture, std::string& writtenPath,
                   const std::filesystem::path& path, std::uint16_t xDensity,
                   std::uint16_t yDensity, int quality, const platform::FilePlacement& placement) {
  if (path.empty()) return false;
  const std::string jpeg = EncodeJpeg(picture, xDensity, yDensity, quality);
  if (jpeg.empty()) return false;
  const std::optional<std::filesystem::path> written = platform::WriteFile(path, jpeg, placement);
  if (!written) {
    platform::DebugOutput("JPEG not written to " + path.string());
    return false;
  }
  writtenPath = written->string();
  return true;
}

std::string EncodeJpeg(const cv::Mat& picture, std::uint16_t xDensity, std::uint16_t yDensity,
                       int quality) {
  cv::Mat storage;
  PixelRows rows{};
  if (!PrepareRows(picture, storage, rows)) return {};
  unsigned char* memory = nullptr;
  unsigned long size = 0;
  char error[JMSG_LENGTH_MAX] = {};
  bool encoded = Compress(rows, &memory, &size, xDensity, yDensity, quality, error);
  std::string bytes;
  if (encoded && memory != nullptr) bytes.assign(reinterpret_cast<const char*>(memory), size);
  std::free(memory);
  return bytes;
}

bool WithinPictureCeiling(long long width, long long height) {
  return width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
         width * height <= kMaxPicturePixels;
}

cv::Mat DecodeJpegToMat(const std::uint8_t* bytes, std::size_t byteCount, std::string* error) {
  auto fail = [error](std::string why) {
    if (error != nullptr) *error = std::move(why);
    return cv::Mat();
  };
  if (bytes == nullptr || byteCount == 0) return fail("no JPEG data");
  cv::Mat picture;
  int width = 0, height = 0;
  try {
    switch (Decompress(bytes, byteCount, &picture, &width, &height)) {
      case Decoded::kUndecodable: return fail("not a decodable grey or colour JPEG");
      case Decoded::kTooLarge:
        return fail("the JPEG declares " + std::to_string(width) + " x " + std::to_string(height) +
                    " pixels, more than a picture may have");
      case Decoded::kNoMemory: return fail("no memory for the picture");
      case Decoded::kPicture: break;
    }
    if (picture.channels() == 3) cv::cvtColor(picture, picture, cv::COLOR_RGB2BGR);
  } catch (const std::exception&) {
    return fail("no memory for the picture");
  }
  return picture;
}

bool ReadJpegSize(const std::uint8_t* bytes, std::size_t byteCount, int& width, int& height) {
  if (bytes == nullptr || byteCount == 0) return false;
  return Decompress(bytes, byteCount, nullptr, &width, &height) == Decoded::kPicture;
}

}  // namespace orvane::imaging
