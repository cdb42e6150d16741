#include "host/system/disk_space.h"

#include "platform/windows.h"

namespace tarpon::host {

namespace {

using GetDiskFreeSpaceExFunction = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

GetDiskFreeSpaceExFunction extended_free_space() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    if (kernel == nullptr) {
        return nullptr;
    }
    // Through a function type without parameters, which any function pointer may be cast to.
    auto found = reinterpret_cast<void (*)()>(GetProcAddress(kernel, "GetDiskFreeSpaceExA"));
    return reinterpret_cast<GetDiskFreeSpaceExFunction>(found);
}

} // namespace

std::optional<DiskSpace> disk_space(const char* root) {
    if (GetDiskFreeSpaceExFunction extended = extended_free_space()) {
        ULARGE_INTEGER available, total, free;
        if (extended(root, &available, &total, &free)) {
            return DiskSpace{available.QuadPart, total.QuadPart, free.QuadPart};
        }
    }
    DWORD sectors_per_cluster, bytes_per_sector, free_clusters, clusters;
    if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters, &clusters)) {
        return std::nullopt;
    }
    const uint64_t cluster_bytes = uint64_t{bytes_per_sector} * sectors_per_cluster;
    return DiskSpace{cluster_bytes * free_clusters, cluster_bytes * clusters, cluster_bytes * free_clusters};
}

} // namespace tarpon::host
