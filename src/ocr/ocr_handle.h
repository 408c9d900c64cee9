// The holder through which page recognition and the orientation detector reach the classifier:
// it picks the engine from the template's first record. Engines are bound to one thread; every
// recognising thread builds its own holder.
#pragma once

#include <filesystem>
#include <memory>

#include "ocr/ocr_engine.h"

namespace orvane::ocr {

class COCRHandle {
 public:
  COCRHandle() = default;
  ~COCRHandle() = default;
  COCRHandle(const COCRHandle&) = delete;
  COCRHandle& operator=(const COCRHandle&) = delete;

  // "NEW" selects the multi-template engine, "NEW:MQDF" or "NEW:RLDA_PLUS_MQDF" (any case) the
  // MQDF engine; then the engine loads the file. False for an unreadable file, another kind, or a
  // failed load (the engine is kept then). A holder that already has an engine refuses.
  bool Initialize(const std::filesystem::path& templatePath);
  // Frees what the engine holds; nothing without an engine.
  void Release();
  // The engine's Recognize; false without an engine.
  bool Recognize(const std::uint8_t* image, int width, int height, char* labels, int n, double* distances);
  // Deletes the engine.
  void Destroy();

  COCRInterface* Engine() const { return engine_.get(); }

 private:
  std::unique_ptr<COCRInterface> engine_;
};

// A holder with its engine loaded from `templatePath`, for a recogniser that owns it for its
// life; nothing, with the message on the standard output, when the template cannot be loaded.
std::unique_ptr<COCRHandle> OpenOcrHandle(const std::filesystem::path& templatePath);
// Frees and deletes the holder's engine, then the holder; nothing when there is none.
void CloseOcrHandle(std::unique_ptr<COCRHandle>& handle);

}  // namespace orvane::ocr
