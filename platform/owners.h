// Owners of Windows resources: each closes what it holds when it goes out of scope, on every path
// (a runtime error raised inside a handler unwinds through them too). Move-only.
//
//   FileHandle file(CreateFileA(...));
//   if (!file) { ... }              // INVALID_HANDLE_VALUE and null both count as no handle
//   ReadFile(file.get(), ...);
#pragma once

#include <utility>

#include "platform/windows.h"

namespace tarpon::platform {

// Traits: `type`, `none()` (the value that holds nothing), `valid(h)` and `close(h)`.
template <typename Traits>
class Owner {
public:
    using Handle = typename Traits::type;

    Owner() = default;
    explicit Owner(Handle handle) : m_handle(handle) {}
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    Owner(Owner&& other) noexcept : m_handle(other.release()) {}
    Owner& operator=(Owner&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    ~Owner() { reset(); }

    Handle get() const { return m_handle; }
    explicit operator bool() const { return Traits::valid(m_handle); }
    // For calls that return the handle through a pointer; closes what was held first.
    Handle* put() {
        reset();
        return &m_handle;
    }
    Handle release() { return std::exchange(m_handle, Traits::none()); }
    void reset(Handle handle = Traits::none()) {
        Handle old = std::exchange(m_handle, handle);
        if (Traits::valid(old)) {
            Traits::close(old);
        }
    }

private:
    Handle m_handle = Traits::none();
};

struct KernelHandleTraits {
    using type = HANDLE;
    static HANDLE none() { return nullptr; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { CloseHandle(h); }
};
// Files, processes, threads, events: null and INVALID_HANDLE_VALUE both mean none.
using KernelHandle = Owner<KernelHandleTraits>;

struct FindHandleTraits {
    using type = HANDLE;
    static HANDLE none() { return INVALID_HANDLE_VALUE; }
    static bool valid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void close(HANDLE h) { FindClose(h); }
};
// FindFirstFile searches.
using FindHandle = Owner<FindHandleTraits>;

struct RegistryKeyTraits {
    using type = HKEY;
    static HKEY none() { return nullptr; }
    static bool valid(HKEY h) { return h != nullptr; }
    static void close(HKEY h) { RegCloseKey(h); }
};
// An open registry key (never a predefined root key: those are not ours to close).
using RegistryKey = Owner<RegistryKeyTraits>;

struct LibraryTraits {
    using type = HMODULE;
    static HMODULE none() { return nullptr; }
    static bool valid(HMODULE h) { return h != nullptr; }
    static void close(HMODULE h) { FreeLibrary(h); }
};
// A library loaded with LoadLibrary.
using Library = Owner<LibraryTraits>;

}  // namespace tarpon::platform
