// The Window class: scripts see a window through Window objects for its handle. Every object of
// one window shares one wrapper, found through a table keyed by the handle; the wrapper lives while
// at least one of its objects does. While it lives, the window's messages pass through the
// dispatching procedure below, which calls the script's event handlers and hands everything else
// on to the procedures that were in place before.
//
// The dispatching procedure is installed as a subclass of the window (SetWindowSubclass), one per
// wrapper: several engines may watch one window and let go of it in any order, and a subclass is
// bound to the window itself, never to a later window that happens to get the same handle.
#include "host/ui/window.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <commctrl.h>

#include "engine/values/array.h"
#include "engine/values/collector.h"
#include "engine/values/conversions.h"
#include "engine/values/protected_run.h"
#include "engine/values/stack_roots.h"
#include "engine/vm/services.h"
#include "host/common/class.h"
#include "host/ui/host_window.h"
#include "host/ui/ui_classes.h"

namespace tarpon::host {

namespace {

// The event handlers a wrapper holds, by slot.
enum Slot : size_t {
    on_query_close,
    on_close,
    on_enter,
    on_leave,
    on_hover,
    on_size,
    on_right_button,  // set by host objects only (set_window_right_button_handler)
    slot_count,
};

// The main window's close is finished by the projector's close routine, which this message runs.
constexpr UINT main_window_close_message = 0x8064;

// While the cursor is inside a window with hover handlers, this timer asks where it is.
constexpr UINT_PTR hover_timer = 100;
constexpr UINT hover_interval_ms = 500;

// Handlers that make their own window's events call themselves again stop here, not at the end of
// the thread's stack.
constexpr int handler_depth_limit = 16;

// What a window is beyond its handle, for windows that are not subclassed (those of other threads):
// a new window that got the handle of a destroyed one differs in at least one of these as a rule.
struct WindowIdentity {
    DWORD thread = 0;
    DWORD process = 0;
    ULONG_PTR class_atom = 0;

    bool operator==(const WindowIdentity&) const = default;
};

WindowIdentity identity_of(HWND handle) {
    WindowIdentity identity;
    identity.thread = GetWindowThreadProcessId(handle, &identity.process);
    identity.class_atom = GetClassLongPtrA(handle, GCW_ATOM);
    return identity;
}

struct WindowCell;

// What the Window objects of one window share. Its objects are its references: the newest of them is
// the `this` of the window's event handlers. A dispatch in progress pins the wrapper, so that a
// handler which lets go of the last object (or destroys the window) leaves a wrapper the dispatching
// procedure can still finish with; it is freed when the dispatch ends.
struct WindowWrapper {
    ScriptEngine* engine = nullptr;
    HWND handle = nullptr;             // null for the object of no window
    UINT_PTR subclass_id = 0;          // this wrapper's subclass of the window, unique in the process
    bool subclassed = false;           // the dispatching procedure is in place
    bool gone = false;                 // the window was destroyed: the handle is no longer this window
    bool hovering = false;             // the cursor is inside and the hover timer runs
    WindowIdentity identity;
    std::array<Value, slot_count> handlers;
    std::vector<WindowCell*> objects;  // the live objects, oldest first
    int pins = 0;                      // dispatches in progress
    int handler_depth = 0;             // handler calls in progress
};

// The instance data of a Window object.
struct WindowCell {
    WindowWrapper* wrapper = nullptr;
    Value object;  // the object itself
};

// The wrappers in 17 buckets, by handle mod 17. A wrapper belongs to one engine: engines that see
// the same window each have their own. Used on the user-interface thread only.
constexpr size_t bucket_count = 17;
using Bucket = std::vector<std::unique_ptr<WindowWrapper>>;
std::array<Bucket, bucket_count> wrapper_table;
UINT_PTR last_subclass_id = 0;

Bucket& bucket_of(HWND handle) { return wrapper_table[reinterpret_cast<uintptr_t>(handle) % bucket_count]; }

LRESULT CALLBACK dispatch_message(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                  DWORD_PTR data);

// Whether the wrapper's handle still names the window it was made for. A subclassed window reports
// its own end (WM_NCDESTROY); for others, the thread, process and class of the window tell.
bool is_its_window(WindowWrapper* wrapper) {
    if (wrapper->handle == nullptr || wrapper->gone) {
        return false;
    }
    if (!IsWindow(wrapper->handle) || identity_of(wrapper->handle) != wrapper->identity) {
        wrapper->gone = true;
    }
    return !wrapper->gone;
}

WindowWrapper* find_wrapper(ScriptEngine* engine, HWND handle) {
    for (const std::unique_ptr<WindowWrapper>& wrapper : bucket_of(handle)) {
        if (wrapper->handle == handle && wrapper->engine == engine &&
            (handle == nullptr || is_its_window(wrapper.get()))) {
            return wrapper.get();
        }
    }
    return nullptr;
}

// A new wrapper in the table; a window of this thread gets the dispatching procedure.
WindowWrapper* add_wrapper(ScriptEngine* engine, HWND handle) {
    Bucket& bucket = bucket_of(handle);
    bucket.push_back(std::make_unique<WindowWrapper>());
    WindowWrapper* wrapper = bucket.back().get();
    wrapper->engine = engine;
    wrapper->handle = handle;
    if (handle != nullptr) {
        wrapper->identity = identity_of(handle);
        // Only this thread's windows can run our procedure; another program's window keeps its own.
        if (wrapper->identity.thread == GetCurrentThreadId()) {
            wrapper->subclass_id = ++last_subclass_id;
            wrapper->subclassed = SetWindowSubclass(handle, dispatch_message, wrapper->subclass_id,
                                                    reinterpret_cast<DWORD_PTR>(wrapper)) != FALSE;
        }
    }
    return wrapper;
}

// Stops hover tracking: the capture and the timer go.
void stop_hover(WindowWrapper* wrapper) {
    wrapper->hovering = false;
    KillTimer(wrapper->handle, hover_timer);
    if (GetCapture() == wrapper->handle) {
        ReleaseCapture();
    }
}

// Takes the dispatching procedure out of the window, if it is still in place.
void unsubclass(WindowWrapper* wrapper) {
    if (wrapper->subclassed) {
        wrapper->subclassed = false;
        RemoveWindowSubclass(wrapper->handle, dispatch_message, wrapper->subclass_id);
    }
}

// Takes the wrapper out of the table and frees it, putting the window's own procedure back.
void release_wrapper(WindowWrapper* wrapper) {
    // The subclass is this wrapper's own: removing it never touches another window's procedures.
    unsubclass(wrapper);
    if (wrapper->hovering && is_its_window(wrapper)) {
        stop_hover(wrapper);
    }
    Bucket& bucket = bucket_of(wrapper->handle);
    std::erase_if(bucket,
                  [wrapper](const std::unique_ptr<WindowWrapper>& entry) { return entry.get() == wrapper; });
}

void release_if_unused(WindowWrapper* wrapper) {
    if (wrapper->objects.empty() && wrapper->pins == 0) {
        release_wrapper(wrapper);
    }
}

class Pin {
public:
    explicit Pin(WindowWrapper* wrapper) : m_wrapper(wrapper) { ++wrapper->pins; }
    ~Pin() {
        --m_wrapper->pins;
        release_if_unused(m_wrapper);
    }
    Pin(const Pin&) = delete;
    Pin& operator=(const Pin&) = delete;

private:
    WindowWrapper* m_wrapper;
};

void destroy_window_cell(HostClass*, void* instance) {
    std::unique_ptr<WindowCell> cell(static_cast<WindowCell*>(instance));
    WindowWrapper* wrapper = cell->wrapper;
    if (wrapper == nullptr) {
        return;
    }
    std::erase(wrapper->objects, cell.get());
    release_if_unused(wrapper);
}

// The handlers are the wrapper's; every object of it keeps them alive.
void mark_window_cell(ScriptEngine* engine, HostClass*, void* instance) {
    const auto* cell = static_cast<const WindowCell*>(instance);
    if (cell == nullptr || cell->wrapper == nullptr) {
        return;
    }
    for (const Value& handler : cell->wrapper->handlers) {
        mark_value(engine, handler);
    }
}

bool has_handler(const WindowWrapper* wrapper, Slot slot) {
    return wrapper->handlers[slot].tag == Tag::Function && !wrapper->objects.empty();
}

// Calls the handler in the slot with the newest object as `this` and Integer arguments. Its answer
// as a Boolean; nothing when the slot is empty or the handler failed. A failure is dropped here: it
// never leaves through the window procedure. Whatever the script that is running meanwhile (the one
// waiting in processMsg, say) has in the engine's result and message buffer is kept for it.
std::optional<bool> call_handler(WindowWrapper* wrapper, Slot slot,
                                 std::initializer_list<int64_t> arguments = {}) {
    if (!has_handler(wrapper, slot) || wrapper->handler_depth >= handler_depth_limit) {
        return std::nullopt;
    }
    ScriptEngine* engine = wrapper->engine;
    Value saved_result = engine->result;
    std::array<char, sizeof engine->message> saved_message;
    std::memcpy(saved_message.data(), engine->message, saved_message.size());

    std::optional<bool> answer;
    ++wrapper->handler_depth;
    run_protected(engine, [&] {
        // The handler, `this` and the outer result stay marked on the stack while the script runs.
        StackRoots roots(engine, {wrapper->handlers[slot], wrapper->objects.back()->object, saved_result});
        std::array<Value, 4> block;
        block[0] = Value::integer(static_cast<int64_t>(arguments.size()));
        std::transform(arguments.begin(), arguments.end(), block.begin() + 1, Value::integer);
        const auto cells = static_cast<uint32_t>(arguments.size() + 1);
        if (vm::call_function_value(engine, roots.cells()[1], roots.cells()[0], cells, block.data())) {
            answer = to_boolean(engine->result);
        }
    });
    --wrapper->handler_depth;

    engine->result = saved_result;
    std::memcpy(engine->message, saved_message.data(), saved_message.size());
    return answer;
}

bool cursor_inside(HWND handle) {
    POINT cursor;
    RECT rect;
    return GetCursorPos(&cursor) && GetWindowRect(handle, &rect) && PtInRect(&rect, cursor);
}

void leave(WindowWrapper* wrapper) {
    const bool was_hovering = wrapper->hovering;
    stop_hover(wrapper);
    if (was_hovering) {
        call_handler(wrapper, on_leave);
    }
}

// The cursor moved over the window, or the hover timer asks where it is now.
void track_cursor(WindowWrapper* wrapper, bool from_timer) {
    HWND handle = wrapper->handle;
    if (!cursor_inside(handle)) {
        leave(wrapper);
        return;
    }
    if (from_timer) {
        call_handler(wrapper, on_hover);
        return;
    }
    if (GetCapture() != handle) {
        SetCapture(handle);
    }
    if (!wrapper->hovering) {
        SetTimer(handle, hover_timer, hover_interval_ms, nullptr);
        wrapper->hovering = true;
        call_handler(wrapper, on_enter);
    }
}

// A close of the window: onQueryClose may refuse it, onClose hears of it. The main window's close is
// finished by the projector's close routine; any other window's by its own procedure.
LRESULT dispatch_close(WindowWrapper* wrapper, HWND handle, UINT message, WPARAM wparam, LPARAM lparam) {
    // A handler that failed gave no answer; the close goes on.
    if (call_handler(wrapper, on_query_close) == false) {
        return 0;
    }
    call_handler(wrapper, on_close);
    if (!IsWindow(handle)) {
        return 0;
    }
    if (handle == host_main_window()) {
        unsubclass(wrapper);
        PostMessageA(handle, main_window_close_message, 0, 0);
        return 0;
    }
    return DefSubclassProc(handle, message, wparam, lparam);
}

LRESULT CALLBACK dispatch_message(HWND handle, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                  DWORD_PTR data) {
    auto* wrapper = reinterpret_cast<WindowWrapper*>(data);
    Pin pin(wrapper);
    switch (message) {
    case WM_SIZE:
        call_handler(wrapper, on_size, {static_cast<int64_t>(wparam), LOWORD(lparam), HIWORD(lparam)});
        break;
    case WM_CLOSE:
        return dispatch_close(wrapper, handle, message, wparam, lparam);
    case WM_MOUSEMOVE:
        if (has_handler(wrapper, on_enter) || has_handler(wrapper, on_leave) ||
            has_handler(wrapper, on_hover)) {
            track_cursor(wrapper, false);
        }
        break;
    case WM_TIMER:
        // The window's own timers may use the same id: only ours while hovering is taken.
        if (wparam == hover_timer && wrapper->hovering) {
            track_cursor(wrapper, true);
        }
        break;
    case WM_RBUTTONDOWN:
        if (has_handler(wrapper, on_right_button)) {
            call_handler(wrapper, on_right_button);
            return 0;
        }
        break;
    case WM_RBUTTONUP:
        // The release of a press the handler took: passed on, it would open the window's own
        // context menu after all.
        if (has_handler(wrapper, on_right_button)) {
            return 0;
        }
        break;
    case WM_NCDESTROY:
        // The last message of the window: from here on its handle may name another window.
        wrapper->gone = true;
        wrapper->hovering = false;
        unsubclass(wrapper);
        break;
    default:
        break;
    }
    // A handler may have destroyed the window meanwhile: nothing is left to pass the message to.
    if (!IsWindow(handle)) {
        return 0;
    }
    return DefSubclassProc(handle, message, wparam, lparam);
}

// ---- Making objects

const ClassDeclaration& window_declaration();

// An object for the handle, also for the handle 0 (the object of no window).
Value window_object_for(ScriptEngine* engine, HWND handle) {
    HostClass* cls = declared_class(engine, window_declaration());
    if (cls == nullptr) {
        return Value::null();
    }
    auto cell = std::make_unique<WindowCell>();
    WindowCell* made = cell.get();
    // The object first: if making it raises, no wrapper is left behind.
    Value object = make_instance(engine, cls, std::move(cell));
    made->object = object;
    WindowWrapper* wrapper = find_wrapper(engine, handle);
    if (wrapper == nullptr) {
        wrapper = add_wrapper(engine, handle);
    }
    made->wrapper = wrapper;
    wrapper->objects.push_back(made);
    return object;
}

// Window objects for the handles, in order, as an Array.
Value window_array(ScriptEngine* engine, const std::vector<HWND>& handles) {
    ArrayRecord* array = array_create(engine, handles.size());
    const Value result = Value::array(array);
    uint64_t index = 0;
    for (HWND handle : handles) {
        if (IsWindow(handle)) {
            array_insert(engine, array, window_object_for(engine, handle), index++);
        }
    }
    return result;
}

BOOL CALLBACK collect_window(HWND handle, LPARAM list) {
    try {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(handle);
        return TRUE;
    } catch (...) {
        return FALSE;  // out of memory: the windows so far
    }
}

// ---- Reading the window

// The object's window while it is still the one the object was made for. Otherwise the property is
// not the class's: the access goes on to the object's own properties.
HWND live_handle(MemberCall& call) {
    WindowWrapper* wrapper = call.data<WindowCell>().wrapper;
    if (wrapper == nullptr || !is_its_window(wrapper)) {
        call.decline();
        return nullptr;
    }
    return wrapper->handle;
}

// The same for live methods, which quietly do nothing on a window that is gone.
HWND live_method_handle(MemberCall& call) {
    WindowWrapper* wrapper = call.data<WindowCell>().wrapper;
    return wrapper != nullptr && is_its_window(wrapper) ? wrapper->handle : nullptr;
}

// The window's rectangle in its parent's client coordinates (a child window) or on the screen.
std::optional<RECT> placed_rect(HWND handle) {
    RECT rect;
    if (!GetWindowRect(handle, &rect)) {
        return std::nullopt;
    }
    if ((GetWindowLongPtrA(handle, GWL_STYLE) & WS_CHILD) != 0) {
        if (HWND parent = GetParent(handle)) {
            MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
        }
    }
    return rect;
}

int clamp_to_int(int64_t value) { return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX)); }

// ---- Properties

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

void set_window_caption(MemberCall& call, const Value& value) {
    if (HWND handle = live_handle(call)) {
        const std::string text = ansi_of(call.engine, value);
        SetWindowTextA(handle, text.c_str());
    }
}

enum class Edge { Left, Top, Height, Width };

void window_edge(MemberCall& call) {
    HWND handle = live_handle(call);
    if (handle == nullptr) {
        return;
    }
    const std::optional<RECT> rect = placed_rect(handle);
    if (!rect) {
        return;
    }
    int64_t answer = 0;
    switch (call.context<Edge>()) {
    case Edge::Left:
        answer = rect->left;
        break;
    case Edge::Top:
        answer = rect->top;
        break;
    case Edge::Height:
        answer = int64_t{rect->bottom} - rect->top;
        break;
    case Edge::Width:
        answer = int64_t{rect->right} - rect->left;
        break;
    }
    *call.result = Value::integer(answer);
}

// Moving the left or top edge keeps the opposite edge; a new width or height moves the right or
// bottom edge.
void set_window_edge(MemberCall& call, const Value& value) {
    HWND handle = live_handle(call);
    if (handle == nullptr || value.tag != Tag::Integer) {
        return;
    }
    const std::optional<RECT> rect = placed_rect(handle);
    if (!rect) {
        return;
    }
    int64_t left = rect->left;
    int64_t top = rect->top;
    int64_t right = rect->right;
    int64_t bottom = rect->bottom;
    const int64_t given = value.payload.integer;
    switch (call.context<Edge>()) {
    case Edge::Left:
        left = given;
        break;
    case Edge::Top:
        top = given;
        break;
    case Edge::Height:
        bottom = top + given;
        break;
    case Edge::Width:
        right = left + given;
        break;
    }
    SetWindowPos(handle, nullptr, clamp_to_int(left), clamp_to_int(top), clamp_to_int(right - left),
                 clamp_to_int(bottom - top), SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOZORDER);
}

void window_parent(MemberCall& call) {
    if (HWND handle = live_handle(call)) {
        *call.result = window_object_for(call.engine, GetParent(handle));
    }
}

void set_window_parent(MemberCall& call, const Value& value) {
    HWND handle = live_handle(call);
    const auto* parent = instance_of<WindowCell>(value, window_declaration());
    if (handle == nullptr || parent == nullptr || parent->wrapper == nullptr) {
        return;
    }
    WindowWrapper* wrapper = parent->wrapper;
    if (wrapper->handle == nullptr || is_its_window(wrapper)) {
        SetParent(handle, wrapper->handle);
    }
}

// The object of no window answers its handle 0 too.
void window_handle(MemberCall& call) {
    const WindowWrapper* wrapper = call.data<WindowCell>().wrapper;
    if (wrapper != nullptr && wrapper->handle == nullptr) {
        *call.result = Value::integer(0);
    } else if (HWND handle = live_handle(call)) {
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

void window_enable(MemberCall& call) {
    if (HWND handle = live_handle(call)) {
        *call.result = Value::boolean(IsWindowEnabled(handle) != FALSE);
    }
}

void set_window_enable(MemberCall& call, const Value& value) {
    if (HWND handle = live_handle(call)) {
        EnableWindow(handle, to_boolean(value) ? TRUE : FALSE);
    }
}

void window_state(MemberCall& call) {
    if (HWND handle = live_handle(call)) {
        const char* state = IsIconic(handle) ? "minimized" : IsZoomed(handle) ? "maximized" : "normal";
        *call.result = ansi_string_z(call.engine, state);
    }
}

// An Integer is a show command as it is (0 does nothing); a state name shows the window so.
void set_window_state(MemberCall& call, const Value& value) {
    HWND handle = live_handle(call);
    if (handle == nullptr) {
        return;
    }
    if (value.tag == Tag::Integer) {
        const int64_t command = value.payload.integer;
        if (command != 0 && command >= INT_MIN && command <= INT_MAX) {
            ShowWindow(handle, static_cast<int>(command));
        }
        return;
    }
    if (value.tag != Tag::String) {
        return;
    }
    const std::string state = ansi_text(value.payload.string);
    if (equal_ignoring_ascii_case(state, "normal")) {
        ShowWindow(handle, SW_SHOWNORMAL);
    } else if (equal_ignoring_ascii_case(state, "maximized")) {
        ShowWindow(handle, SW_MAXIMIZE);
    } else if (equal_ignoring_ascii_case(state, "minimized")) {
        ShowWindow(handle, SW_MINIMIZE);
    }
}

// Event handlers read as Undefined; a Function is stored, anything else leaves the slot as it was.
void set_window_handler(MemberCall& call, const Value& value) {
    if (live_handle(call) != nullptr && value.tag == Tag::Function) {
        call.data<WindowCell>().wrapper->handlers[call.context<Slot>()] = value;
    }
}

// ---- Methods

void window_show(MemberCall& call) {
    if (HWND handle = live_method_handle(call)) {
        ShowWindow(handle, SW_SHOW);
    }
}

void window_hide(MemberCall& call) {
    if (HWND handle = live_method_handle(call)) {
        ShowWindow(handle, SW_HIDE);
    }
}

void window_close(MemberCall& call) {
    if (HWND handle = live_method_handle(call)) {
        PostMessageA(handle, WM_CLOSE, 0, 0);
    }
}

void window_get_children(MemberCall& call) {
    HWND handle = live_method_handle(call);
    if (handle == nullptr) {
        return;
    }
    std::vector<HWND> children;
    EnumChildWindows(handle, collect_window, reinterpret_cast<LPARAM>(&children));
    *call.result = window_array(call.engine, children);
}

// The first top-level window of the class and caption; an argument that is no String matches any.
void window_find(MemberCall& call) {
    const std::optional<std::string> class_name = ansi_argument(call.args, 0);
    const std::optional<std::string> caption = ansi_argument(call.args, 1);
    HWND found =
        FindWindowA(class_name ? class_name->c_str() : nullptr, caption ? caption->c_str() : nullptr);
    *call.result = window_object_for(call.engine, found);
}

void window_bring_to_top(MemberCall& call) {
    if (HWND handle = live_method_handle(call)) {
        SetForegroundWindow(handle);
    }
}

// Removes, then adds style bits; a window whose style changed is shown again where it is.
void modify_style(MemberCall& call, int index) {
    HWND handle = live_method_handle(call);
    if (handle == nullptr) {
        return;
    }
    const auto remove = static_cast<uint32_t>(call.args.integer(0).value_or(0));
    const auto add = static_cast<uint32_t>(call.args.integer(1).value_or(0));
    const auto style = static_cast<uint32_t>(GetWindowLongPtrA(handle, index));
    const uint32_t changed = (style & ~remove) | add;
    if (changed != style) {
        SetWindowLongPtrA(handle, index, static_cast<LONG_PTR>(static_cast<LONG>(changed)));
        SetWindowPos(handle, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    }
}

void window_modify_style(MemberCall& call) { modify_style(call, GWL_STYLE); }
void window_modify_style_ex(MemberCall& call) { modify_style(call, GWL_EXSTYLE); }

// Each Integer given replaces that edge of the window's rectangle: left, top, right, bottom.
void window_move(MemberCall& call) {
    HWND handle = live_method_handle(call);
    if (handle == nullptr) {
        return;
    }
    const std::optional<RECT> rect = placed_rect(handle);
    if (!rect) {
        return;
    }
    const int64_t left = call.args.integer(0).value_or(rect->left);
    const int64_t top = call.args.integer(1).value_or(rect->top);
    const int64_t right = call.args.integer(2).value_or(rect->right);
    const int64_t bottom = call.args.integer(3).value_or(rect->bottom);
    MoveWindow(handle, clamp_to_int(left), clamp_to_int(top), clamp_to_int(right - left),
               clamp_to_int(bottom - top), TRUE);
}

// A visible window of the class at (0, 0), 200 x 20, without a caption: a child of the main window,
// or, in a host without one, a top-level window of its own (no parent, no owner).
void window_create(MemberCall& call) {
    *call.result = Value::null();
    const std::optional<std::string> class_name = ansi_argument(call.args, 0);
    if (!class_name) {
        return;
    }
    HWND parent = host_main_window();
    const DWORD style = WS_VISIBLE | (parent != nullptr ? WS_CHILD : WS_POPUP);
    HWND made = CreateWindowExA(0, class_name->c_str(), "", style, 0, 0, 200, 20, parent, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    if (made != nullptr) {
        *call.result = window_object_for(call.engine, made);
    }
}

// The top-level windows whose caption is the name, letter case aside; every one without a name.
void window_get_windows_by_name(MemberCall& call) {
    const bool named = call.args.has(0) && call.args[0].tag != Tag::Undefined;
    const std::string name = named ? ansi_of(call.engine, call.args[0]) : std::string();
    std::vector<HWND> windows;
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&windows));
    if (!name.empty()) {
        std::erase_if(windows, [&name](HWND window) {
            const int length = GetWindowTextLengthA(window);
            std::string caption(static_cast<size_t>(std::max(length, 0)) + 1, '\0');
            const int copied = GetWindowTextA(window, caption.data(), static_cast<int>(caption.size()));
            caption.resize(static_cast<size_t>(std::clamp(copied, 0, length)));
            return lstrcmpiA(caption.c_str(), name.c_str()) != 0;
        });
    }
    *call.result = window_array(call.engine, windows);
}

// Window(handle) and new Window(handle): an Integer handle of an existing window, else null.
void window_construct(MemberCall& call) {
    const std::optional<int64_t> handle = call.args.integer(0);
    *call.result =
        handle ? make_window_object(call.engine, reinterpret_cast<HWND>(static_cast<intptr_t>(*handle)))
               : Value::null();
}

constexpr Edge left_edge = Edge::Left;
constexpr Edge top_edge = Edge::Top;
constexpr Edge height_edge = Edge::Height;
constexpr Edge width_edge = Edge::Width;
constexpr Slot slots[] = {on_query_close, on_close, on_enter, on_leave, on_hover, on_size};

// find, create and getWindowsByName do not look at the receiver: the class object serves them too.
constexpr Needs instance = Needs::Instance;
constexpr Needs any = Needs::Nothing;

const Member window_members[] = {
    property("caption", window_caption, set_window_caption, instance),
    property("left", window_edge, set_window_edge, instance, &left_edge),
    property("top", window_edge, set_window_edge, instance, &top_edge),
    property("height", window_edge, set_window_edge, instance, &height_edge),
    property("width", window_edge, set_window_edge, instance, &width_edge),
    property("parent", window_parent, set_window_parent, instance),
    property("handle", window_handle, nullptr, instance),
    property("className", window_class_name, nullptr, instance),
    property("visible", window_visible, nullptr, instance),
    property("enable", window_enable, set_window_enable, instance),
    property("windowState", window_state, set_window_state, instance),
    method("show", window_show, instance),
    method("hide", window_hide, instance),
    method("close", window_close, instance),
    method("getChildren", window_get_children, instance),
    method("find", window_find, any),
    method("bringToTop", window_bring_to_top, instance),
    method("modifyStyle", window_modify_style, instance),
    method("modifyStyleEx", window_modify_style_ex, instance),
    method("move", window_move, instance),
    method("create", window_create, any),
    method("getWindowsByName", window_get_windows_by_name, any),
    property("onClose", nullptr, set_window_handler, instance, &slots[on_close]),
    property("onQueryClose", nullptr, set_window_handler, instance, &slots[on_query_close]),
    property("onEnter", nullptr, set_window_handler, instance, &slots[on_enter]),
    property("onLeave", nullptr, set_window_handler, instance, &slots[on_leave]),
    property("onHover", nullptr, set_window_handler, instance, &slots[on_hover]),
    property("onSize", nullptr, set_window_handler, instance, &slots[on_size]),
};

const ClassDeclaration window_class = {
    .name = "Window",
    .class_text = "[object Window]",
    .members = window_members,
    .construct = window_construct,
    .call = window_construct,
    .destroy = destroy_window_cell,
    .mark = mark_window_cell,
};

const ClassDeclaration& window_declaration() { return window_class; }

}  // namespace

Value make_window_object(ScriptEngine* engine, HWND handle) {
    if (handle == nullptr || !IsWindow(handle)) {
        return Value::null();
    }
    return window_object_for(engine, handle);
}

HWND window_object_handle(const Value& window) {
    const auto* cell = instance_of<WindowCell>(window, window_class);
    if (cell == nullptr || cell->wrapper == nullptr || !is_its_window(cell->wrapper)) {
        return nullptr;
    }
    return cell->wrapper->handle;
}

bool set_window_right_button_handler(const Value& window, const Value& handler) {
    auto* cell = instance_of<WindowCell>(window, window_class);
    if (cell == nullptr || cell->wrapper == nullptr || handler.tag != Tag::Function) {
        return false;
    }
    cell->wrapper->handlers[on_right_button] = handler;
    return true;
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
