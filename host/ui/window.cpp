// The Window class: scripts see a window through Window objects for its handle. Every object of
// one handle shares one wrapper, found through a table keyed by the handle; the wrapper lives while
// at least one of its objects does.
#include "host/ui/window.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/common/class.h"
#include "host/ui/ui_classes.h"

namespace tarpon::host {

namespace {

struct WindowCell;

// What the Window objects of one window share. Its reference count is the number of its live
// objects; the newest of them is the one the window's event handlers will see as `this`.
struct WindowWrapper {
    ScriptEngine* engine;
    HWND handle;
    WNDPROC previous_procedure = nullptr;  // the window's own procedure while ours is in place, else null
    std::vector<WindowCell*> objects;      // the live objects, oldest first
};

// The instance data of a Window object.
struct WindowCell {
    WindowWrapper* wrapper = nullptr;
    HostRecord* record = nullptr;  // the object itself
};

// The wrappers in 17 buckets, by handle mod 17. A wrapper belongs to one engine: engines that see
// the same window each have their own. Used on the user-interface thread only.
constexpr size_t bucket_count = 17;
using Bucket = std::vector<std::unique_ptr<WindowWrapper>>;
std::array<Bucket, bucket_count> wrapper_table;

Bucket& bucket_of(HWND handle) { return wrapper_table[reinterpret_cast<uintptr_t>(handle) % bucket_count]; }

WindowWrapper* find_wrapper(ScriptEngine* engine, HWND handle) {
    for (const std::unique_ptr<WindowWrapper>& wrapper : bucket_of(handle)) {
        if (wrapper->handle == handle && wrapper->engine == engine) {
            return wrapper.get();
        }
    }
    return nullptr;
}

// Takes the wrapper out of the table and frees it, putting the window's own procedure back.
void release_wrapper(WindowWrapper* wrapper) {
    if (wrapper->previous_procedure != nullptr && IsWindow(wrapper->handle)) {
        SetWindowLongPtrA(wrapper->handle, GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(wrapper->previous_procedure));
    }
    Bucket& bucket = bucket_of(wrapper->handle);
    std::erase_if(bucket,
                  [wrapper](const std::unique_ptr<WindowWrapper>& entry) { return entry.get() == wrapper; });
}

void destroy_window_cell(HostClass*, void* instance) {
    std::unique_ptr<WindowCell> cell(static_cast<WindowCell*>(instance));
    WindowWrapper* wrapper = cell->wrapper;
    if (wrapper == nullptr) {
        return;
    }
    std::erase(wrapper->objects, cell.get());
    if (wrapper->objects.empty()) {
        release_wrapper(wrapper);
    }
}

// The object's window while it still exists. On a window that is gone the property is not the
// class's: the access goes on to the object's own properties.
HWND live_handle(MemberCall& call) {
    HWND handle = call.data<WindowCell>().wrapper->handle;
    if (!IsWindow(handle)) {
        call.decline();
        return nullptr;
    }
    return handle;
}

void window_caption(MemberCall& call) {
    HWND handle = live_handle(call);
    if (handle == nullptr) {
        return;
    }
    const int length = GetWindowTextLengthA(handle);
    std::string text(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
    const int copied = GetWindowTextA(handle, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(std::clamp(copied, 0, length)));
    *call.result = ansi_string(call.engine, text);
}

void window_handle(MemberCall& call) {
    if (HWND handle = live_handle(call)) {
        *call.result = Value::integer(reinterpret_cast<intptr_t>(handle));
    }
}

void window_class_name(MemberCall& call) {
    HWND handle = live_handle(call);
    if (handle == nullptr) {
        return;
    }
    char name[257];  // class names are at most 256 characters
    const int length = GetClassNameA(handle, name, sizeof name);
    *call.result = ansi_string(call.engine, std::string_view(name, static_cast<size_t>(std::max(length, 0))));
}

void window_visible(MemberCall& call) {
    if (HWND handle = live_handle(call)) {
        *call.result = Value::boolean(IsWindowVisible(handle) != FALSE);
    }
}

// Window(handle) and new Window(handle): an Integer handle of an existing window, else null.
void window_construct(MemberCall& call) {
    const std::optional<int64_t> handle = call.args.integer(0);
    *call.result =
        handle ? make_window_object(call.engine, reinterpret_cast<HWND>(static_cast<intptr_t>(*handle)))
               : Value::null();
}

const Member window_members[] = {
    property("caption", window_caption, nullptr, Needs::Instance),
    property("handle", window_handle, nullptr, Needs::Instance),
    property("className", window_class_name, nullptr, Needs::Instance),
    property("visible", window_visible, nullptr, Needs::Instance),
};

const ClassDeclaration window_class = {
    .name = "Window",
    .class_text = "[object Window]",
    .members = window_members,
    .construct = window_construct,
    .call = window_construct,
    .destroy = destroy_window_cell,
};

}  // namespace

Value make_window_object(ScriptEngine* engine, HWND handle) {
    HostClass* cls = declared_class(engine, window_class);
    if (cls == nullptr || handle == nullptr || !IsWindow(handle)) {
        return Value::null();
    }
    auto cell = std::make_unique<WindowCell>();
    WindowCell* made = cell.get();
    // The object first: if making it raises, no wrapper is left behind.
    Value object = make_instance(engine, cls, std::move(cell));
    WindowWrapper* wrapper = find_wrapper(engine, handle);
    if (wrapper == nullptr) {
        Bucket& bucket = bucket_of(handle);
        bucket.push_back(std::make_unique<WindowWrapper>(WindowWrapper{engine, handle, nullptr, {}}));
        wrapper = bucket.back().get();
    }
    made->wrapper = wrapper;
    made->record = object.payload.host;
    wrapper->objects.push_back(made);
    return object;
}

size_t window_wrapper_count() {
    size_t count = 0;
    for (const Bucket& bucket : wrapper_table) {
        count += bucket.size();
    }
    return count;
}

void register_window_class(ScriptEngine* engine) { declare_class(engine, window_class); }

}  // namespace tarpon::host
