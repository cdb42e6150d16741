// The space of a volume, for Drive and for the size of a drive's root folder.
#pragma once

#include <cstdint>
#include <optional>

namespace tarpon::host {

struct DiskSpace {
    uint64_t available; // free to the caller (quotas applied)
    uint64_t total;
    uint64_t free; // free on the whole volume
};

// The space of the volume with this root ("C:\"). Asked through GetDiskFreeSpaceExA when the system
// has it (looked up at run time: the first systems of the family lack it), else computed from the
// classic call's cluster counts, which cannot report beyond 2 GiB there. Nothing when both fail;
// the system's error stays the calling thread's last error.
std::optional<DiskSpace> disk_space(const char* root);

} // namespace tarpon::host
