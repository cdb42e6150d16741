// The resource reader on any bytes, and the writer on what the reader accepted: reading never
// crashes or copies more bytes than the input holds, and a written image reads back with the same
// resources and the same appended data.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "projector/pe/resources.h"

using namespace tarpon::pe;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> image(data, size);
    const auto appended = overlay(image);
    const ReadResult read = read_resources(image);
    if (!read.error.empty()) {
        if (!read.resources.empty()) {
            std::abort();
        }
        return 0;
    }
    size_t total = 0;
    for (const Resource& resource : read.resources) {
        total += resource.data.size();
    }
    if (total > size) {
        std::abort();
    }
    (void)with_overlay(image, image.first(size / 2));

    const WriteResult written = write_resources(image, read.resources);
    if (!written.error.empty()) {
        return 0;
    }
    const ReadResult again = read_resources(written.image);
    size_t total_again = 0;
    for (const Resource& resource : again.resources) {
        total_again += resource.data.size();
    }
    const auto appended_again = overlay(written.image);
    if (!again.error.empty() || again.resources.size() != read.resources.size() || total_again != total ||
        !std::equal(appended.begin(), appended.end(), appended_again.begin(), appended_again.end())) {
        std::abort();
    }
    return 0;
}
