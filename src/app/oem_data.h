// The branding record: logo, logo link, splash picture, product name and notice line, read once
// at start-up from "data.dat" in the program folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orvane {

// A 24-bit picture: `height` packed rows of width * 3 bytes, top row first, blue-green-red.
struct BgrPicture {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> pixels;

  bool operator==(const BgrPicture&) const = default;
};

class COemData {
 public:
  // The program's one record, filled by the main window at start-up.
  static COemData& Instance();

  // Reads the branding file. -1 when the path is empty, the file cannot be read or its logo,
  // link, splash or item list is damaged; the record then keeps what it held. 0 otherwise: the
  // trailing notice flag, product name and notice text are taken as far as they are intact.
  int Load(const std::filesystem::path& path);

  const std::string& link() const { return link_; }
  const std::optional<BgrPicture>& logo() const { return logo_; }
  const std::optional<BgrPicture>& splash() const { return splash_; }
  const std::vector<std::string>& items() const { return items_; }
  bool noticeShown() const { return noticeShown_; }
  const std::string& productName() const { return productName_; }
  const std::string& noticeText() const { return noticeText_; }

 private:
  std::string link_;
  std::optional<BgrPicture> logo_;
  std::optional<BgrPicture> splash_;
  std::vector<std::string> items_;
  bool noticeShown_ = true;
  std::string productName_;
  std::string noticeText_;
};

}  // namespace orvane
