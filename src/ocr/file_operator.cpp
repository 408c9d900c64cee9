#include "ocr/file_operator.h"

#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/file_io.h"

namespace orvane::ocr {

static_assert(std::endian::native == std::endian::little,
              "the template stores little-endian elements, copied as they are");

namespace {

constexpr std::size_t kHeaderBytes = 12;

void AppendInt32(std::string& out, std::int32_t value) {
  char bytes[4];
  std::memcpy(bytes, &value, 4);
  out.append(bytes, 4);
}

std::int32_t ReadInt32(const char* bytes) {
  std::int32_t value;
  std::memcpy(&value, bytes, 4);
  return value;
}

}  // namespace

int CFileOperator::WriteString(std::string_view) { return 1; }

CCmmFileOperatorImp::~CCmmFileOperatorImp() = default;

int CCmmFileOperatorImp::OpenWithMode(const std::filesystem::path& path, const char* mode) {
  if (reading_ || writing_ || mode == nullptr) return 1;
  std::string contents;
  if (mode[0] == 'a') {
    // Appending keeps what is there; a missing file starts empty, as fopen's "a" does.
    std::error_code error;
    if (std::filesystem::exists(path, error)) {
      auto existing = platform::ReadWholeFile(path);
      if (!existing) return 1;
      contents = std::move(*existing);
    }
  } else if (mode[0] != 'w') {
    return 1;
  }
  // The folder must exist and the target must not be a folder, as fopen would insist.
  std::error_code error;
  const auto parent = path.parent_path();
  if (!parent.empty() && !std::filesystem::is_directory(parent, error)) return 1;
  if (std::filesystem::is_directory(path, error)) return 1;
  output_ = std::move(contents);
  writePath_ = path;
  writing_ = true;
  return 0;
}

int CCmmFileOperatorImp::Open(const std::filesystem::path& path, bool write) {
  if (reading_ || writing_) return 1;
  if (write) return OpenWithMode(path, "wb");
  auto contents = platform::ReadWholeFile(path);
  if (!contents) return 1;
  input_ = std::move(*contents);
  position_ = 0;
  readState_ = OcrReadState::kEnd;
  reading_ = true;
  return 0;
}

OcrMatrixPtr CCmmFileOperatorImp::ReadMatrix() {
  if (!reading_) {
    readState_ = OcrReadState::kDamaged;
    return nullptr;
  }
  const std::size_t left = input_.size() - position_;
  if (left == 0) {
    readState_ = OcrReadState::kEnd;
    return nullptr;
  }
  readState_ = OcrReadState::kDamaged;
  if (left < kHeaderBytes) return nullptr;
  const char* header = input_.data() + position_;
  const std::int32_t rows = ReadInt32(header);
  const std::int32_t cols = ReadInt32(header + 4);
  const std::int32_t type = ReadInt32(header + 8);
  if (rows < 0 || cols < 0) return nullptr;
  const std::uint64_t count = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(cols);
  const int size = OcrElementSize(type);
  if (size == 0) {
    // A record of an unknown type carries no elements; only a scalar-sized one is accepted.
    if (count > 1) return nullptr;
  } else if (count > (left - kHeaderBytes) / static_cast<std::uint64_t>(size)) {
    return nullptr;  // checked before allocating: a damaged size never reaches the allocator
  }
  OcrMatrixPtr matrix = CreateOcrMatrix(type, rows, cols);
  if (!matrix) return nullptr;
  const std::size_t bytes = matrix->data.size();
  if (bytes > 0) std::memcpy(matrix->data.data(), header + kHeaderBytes, bytes);
  position_ += kHeaderBytes + bytes;
  readState_ = OcrReadState::kRecord;
  return matrix;
}

bool AppendOcrRecord(std::string& out, const OcrMatrix& matrix) {
  const int size = OcrElementSize(matrix.type);
  if (matrix.rows < 0 || matrix.cols < 0) return false;
  if (size > 0 ? !matrix.HasElements() : matrix.Count() > 1) return false;
  try {
    out.reserve(out.size() + kHeaderBytes + matrix.data.size());
    AppendInt32(out, matrix.rows);
    AppendInt32(out, matrix.cols);
    AppendInt32(out, matrix.type);
    out.append(reinterpret_cast<const char*>(matrix.data.data()), matrix.data.size());
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

int CCmmFileOperatorImp::WriteMatrix(const OcrMatrix& matrix) {
  if (!writing_) return 1;
  const std::size_t before = output_.size();
  if (!AppendOcrRecord(output_, matrix)) {
    output_.resize(before);
    return 1;
  }
  return 0;
}

int CCmmFileOperatorImp::WriteString(std::string_view text) {
  OcrMatrixPtr record = MakeOcrString(text);
  if (!record) return 1;
  return WriteMatrix(*record);
}

int CCmmFileOperatorImp::Close() {
  int result = 0;
  if (writing_ && !platform::WriteFileAtomically(writePath_, output_)) result = 1;
  writing_ = false;
  reading_ = false;
  output_.clear();
  output_.shrink_to_fit();
  input_.clear();
  input_.shrink_to_fit();
  position_ = 0;
  return result;
}

std::unique_ptr<CFileOperator> CreateFileOperator(std::string_view name) {
  if (EqualsIgnoringCase(name, "Cmm")) return std::make_unique<CCmmFileOperatorImp>();
  return nullptr;
}

}  // namespace orvane::ocr
