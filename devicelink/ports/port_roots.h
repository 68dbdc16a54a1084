// Where Linux shows its devices: sysfs (/sys) and the device folder (/dev,
// with the stable links in serial/by-id and serial/by-path). Tests point
// them at trees of their own (ZFLASH_SYSFS_ROOT or --sysfs-root, and
// ZFLASH_DEV_ROOT). Windows ignores both.
#pragma once

#include <string>

struct PortRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};
