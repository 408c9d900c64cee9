// A PDF as a reader sees it, through poppler's pdfinfo and pdfimages (tools/setup.sh installs
// them): every page's size in points and the resolution of the picture on it.
#pragma once

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace orvane::ui::testing {

struct PdfPage {
  int width = 0;  // points
  int height = 0;
  int xPpi = 0;  // of the page's picture
  int yPpi = 0;
  bool operator==(const PdfPage&) const = default;
};

inline std::string CommandOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r")) {
    char buffer[4096];
    while (std::size_t read = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, read);
    pclose(pipe);
  }
  return output;
}

// Empty when poppler cannot read the file.
inline std::vector<PdfPage> ReadPdf(const std::filesystem::path& pdf) {
  std::vector<PdfPage> pages;
  const std::string quoted = "'" + pdf.string() + "'";
  std::istringstream info(CommandOutput("pdfinfo -f 1 -l 9999 " + quoted));
  for (std::string line; std::getline(info, line);) {
    int number = 0;
    double width = 0, height = 0;
    if (std::sscanf(line.c_str(), "Page %d size: %lf x %lf", &number, &width, &height) == 3) {
      pages.push_back({static_cast<int>(width + 0.5), static_cast<int>(height + 0.5), 0, 0});
    }
  }
  // page num type width height color comp bpc enc interp object ID x-ppi y-ppi size ratio
  std::istringstream images(CommandOutput("pdfimages -list " + quoted));
  for (std::string line; std::getline(images, line);) {
    std::istringstream fields(line);
    int page = 0;
    if (!(fields >> page) || page < 1 || page > static_cast<int>(pages.size())) continue;
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;  // num to ID
    fields >> pages[static_cast<std::size_t>(page - 1)].xPpi >> pages[static_cast<std::size_t>(page - 1)].yPpi;
  }
  return pages;
}

}  // namespace orvane::ui::testing
