#include "host/system/environment.h"

#include <cstring>
#include <memory>

#include "platform/windows.h"

namespace tarpon::host {

namespace {

struct EnvironmentBlockFree {
    void operator()(char* block) const { FreeEnvironmentStringsA(block); }
};

}  // namespace

std::optional<std::string> environment_variable(const std::string& name) {
    std::string value(64, '\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length =
            GetEnvironmentVariableA(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
        if (length == 0) {
            // Zero is also the length of a variable set to the empty text.
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return std::nullopt;
            }
            return std::string();
        }
        if (length < value.size()) {
            value.resize(length);
            return value;
        }
        // Too small: the answer is the size needed, the terminating NUL included.
        value.assign(length + 1, '\0');
    }
}

std::optional<std::vector<std::string>> environment_names() {
    std::unique_ptr<char, EnvironmentBlockFree> block(GetEnvironmentStringsA());
    if (block == nullptr) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (const char* entry = block.get(); *entry != '\0'; entry += std::strlen(entry) + 1) {
        const char* equals = std::strchr(entry + 1, '=');
        names.emplace_back(entry,
                           equals != nullptr ? static_cast<size_t>(equals - entry) : std::strlen(entry));
    }
    return names;
}

std::optional<std::string> expand_environment_strings(const std::string& text) {
    std::string expanded(text.size() + 64, '\0');
    for (;;) {
        const DWORD needed =
            ExpandEnvironmentStringsA(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0) {
            return std::nullopt;
        }
        if (needed <= expanded.size()) {
            expanded.resize(std::strlen(expanded.c_str()));
            return expanded;
        }
        // The answer counts the terminating NUL; one more byte covers the ANSI function's miscount.
        expanded.assign(static_cast<size_t>(needed) + 1, '\0');
    }
}

}  // namespace tarpon::host
