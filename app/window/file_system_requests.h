// The file-system forms of the command line, run once the controller is identified:
//   --ls PATH     the listing of a device folder: name, size or <DIR>, date
//   --tree A:     the folder tree of a drive, one folder path per line
//   --mkdir PATH  --rm PATH  --rmdir PATH   a new folder, delete a file, delete a folder
//   --format A:   format a drive (asks first; --yes answers)
//   --df          the drives with size, block size and free space
// They use the same ffs/ code as the window's extended view.
#pragma once

#include <string>

#include "app/options/command_line.h"
#include "app/window/window_view.h"
#include "link/monitor_exchange.h"
#include "models/device.h"

namespace tarmix {

// Runs the request and returns its result code (command_line.h).
int RunFileSystemRequest(const FileSystemRequest& request, MonitorExchange& monitor,
                         const DeviceDescription& device, MainWindowView& view);

}  // namespace tarmix
