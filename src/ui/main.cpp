// The capture station's start: branding, settings and folders, in the order the main window
// runs them. The main window itself is not there yet; the program reports where its files are.
#include <cstdio>
#include <filesystem>

#include "app/oem_data.h"
#include "app/sys_param.h"
#include "platform/special_folders.h"

int main() {
  namespace fs = std::filesystem;
  using namespace orvane;

  const fs::path branding = platform::ProgramFolder() / "data.dat";
  if (COemData::Instance().Load(branding) == -1) {
    std::fprintf(stderr, "orvane: cannot read the branding file %s\n", branding.c_str());
    return 1;
  }

  CSysParam settings;
  const fs::path iniPath = platform::RoamingAppDataFolder() / "Sys.ini";
  settings.SetIniPath(iniPath);
  settings.Load();
  settings.ResolveStorageFolders(NamingHooks::System().localTime());

  const fs::path common = GetCommonDataFolder();
  if (common.empty()) std::fprintf(stderr, "orvane: Create a temporary folder fails\n");

  std::printf("Sys.ini: %s; common data folder: %s; storage folder: %s\n", iniPath.c_str(),
              common.empty() ? "(none)" : common.c_str(), settings.currentStorageFolder.c_str());
  return 0;
}
