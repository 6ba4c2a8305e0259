// Shows a folder in the desktop's file manager: the freedesktop FileManager1
// D-Bus interface, else the default handler of the folder's URI.
#pragma once

#include "media/desktop.hpp"

namespace camvault::platform {

class GioFolderOpener : public media::FolderOpener {
  public:
    void show_folder(const std::string& path) override;
};

}  // namespace camvault::platform
