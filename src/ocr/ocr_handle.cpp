#include "ocr/ocr_handle.h"

#include <iostream>

#include "ocr/file_operator.h"
#include "ocr/ocr_mqdf.h"
#include "ocr/ocr_multi_tpl.h"

namespace orvane::ocr {

bool COCRHandle::Initialize(const std::filesystem::path& templatePath) {
  if (engine_) return false;  // one engine per holder
  OcrMatrixPtr kind;
  {
    std::unique_ptr<CFileOperator> file = CreateFileOperator("Cmm");
    if (!file || file->Open(templatePath, false) != 0) return false;
    kind = file->ReadMatrix();
    file->Close();
  }
  if (!IsOcrString(kind.get())) return false;
  const std::string text = OcrStringText(*kind);
  if (EqualsIgnoringCase(text, "NEW")) {
    engine_ = std::make_unique<COCRMultiTpl>();
  } else if (EqualsIgnoringCase(text, "NEW:MQDF") || EqualsIgnoringCase(text, "NEW:RLDA_PLUS_MQDF")) {
    engine_ = std::make_unique<COCRMQDF>();
  } else {
    return false;
  }
  return engine_->Load(templatePath);
}

void COCRHandle::Release() {
  if (engine_) engine_->Release();
}

bool COCRHandle::Recognize(const std::uint8_t* image, int width, int height, char* labels, int n,
                           double* distances) {
  return engine_ && engine_->Recognize(image, width, height, labels, n, distances);
}

void COCRHandle::Destroy() { engine_.reset(); }

std::unique_ptr<COCRHandle> OpenOcrHandle(const std::filesystem::path& templatePath) {
  auto handle = std::make_unique<COCRHandle>();
  if (handle->Initialize(templatePath)) return handle;
  std::cout << "[CDocOCR::Initialize] 初始化字符模板失败" << std::endl;
  CloseOcrHandle(handle);
  return nullptr;
}

void CloseOcrHandle(std::unique_ptr<COCRHandle>& handle) {
  if (!handle) return;
  handle->Release();
  handle->Destroy();
  handle.reset();
}

}  // namespace orvane::ocr
