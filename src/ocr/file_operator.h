// Reading and writing the template file: a plain stream of matrix records, each a little-endian
// header {rows, cols, type} (int32) followed by rows x cols elements, with no file header.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "ocr/ocr_matrix.h"

namespace orvane::ocr {

// Why the last ReadMatrix gave no record.
enum class OcrReadState {
  kRecord,   // a record was read
  kEnd,      // the stream ended cleanly between records
  kDamaged,  // a header or its elements do not fit the bytes left, or nothing is open for reading
};

class CFileOperator {
 public:
  virtual ~CFileOperator() = default;
  // Opens `path` for writing with a C-library mode: "w..." replaces, "a..." appends. 0 on success,
  // 1 when something is already open, the mode is neither, or the file cannot be opened.
  virtual int OpenWithMode(const std::filesystem::path& path, const char* mode) = 0;
  // Opens for writing ("wb") or reading ("rb"). 0 on success, 1 otherwise.
  virtual int Open(const std::filesystem::path& path, bool write) = 0;
  // The next record, or null at the end of the stream or on a damaged record (see LastReadState).
  virtual OcrMatrixPtr ReadMatrix() = 0;
  // 0 when the whole record was queued for writing, 1 otherwise.
  virtual int WriteMatrix(const OcrMatrix& matrix) = 0;
  // Closes both sides; a file opened for writing is committed whole here. 0 on success, 1 when the
  // written file could not be committed (the target is then left as it was).
  virtual int Close() = 0;
  // Writes `text` as a string record; the base class writes nothing and returns 1.
  virtual int WriteString(std::string_view text);
  virtual OcrReadState LastReadState() const = 0;
};

// The only file operator ("Cmm"). Reads the whole file at Open and parses it from memory; writes
// into memory and commits the file atomically at Close, so a failed write leaves no half file.
class CCmmFileOperatorImp : public CFileOperator {
 public:
  CCmmFileOperatorImp() = default;
  ~CCmmFileOperatorImp() override;  // discards a write that was never closed
  CCmmFileOperatorImp(const CCmmFileOperatorImp&) = delete;
  CCmmFileOperatorImp& operator=(const CCmmFileOperatorImp&) = delete;

  int OpenWithMode(const std::filesystem::path& path, const char* mode) override;
  int Open(const std::filesystem::path& path, bool write) override;
  OcrMatrixPtr ReadMatrix() override;
  int WriteMatrix(const OcrMatrix& matrix) override;
  int Close() override;
  int WriteString(std::string_view text) override;
  OcrReadState LastReadState() const override { return readState_; }

 private:
  bool reading_ = false;
  bool writing_ = false;
  std::string input_;
  std::size_t position_ = 0;
  OcrReadState readState_ = OcrReadState::kEnd;
  std::filesystem::path writePath_;
  std::string output_;
};

// "Cmm" (any case) gives the file operator; anything else null.
std::unique_ptr<CFileOperator> CreateFileOperator(std::string_view name);

// Appends the stream encoding of `matrix` to `out` (for writers that assemble a file themselves).
// False, with `out` unchanged, for a record whose elements do not match its shape.
bool AppendOcrRecord(std::string& out, const OcrMatrix& matrix);

}  // namespace orvane::ocr
