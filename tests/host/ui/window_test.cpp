#ifdef _WIN32

#include "host/ui/window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/values/class_declaration.h"
#include "host/ui/host_window.h"
#include "tests/host/host_engine.h"

namespace tarpon::host::testing {
namespace {

using namespace std::chrono_literals;

const char test_class[] = "TarponWindowTest";
const COLORREF fill_colour = RGB(0x20, 0xC0, 0x60);

// The test's window class, with a background brush of a colour of its own.
void register_test_class() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = test_class;
    window_class.hbrBackground = CreateSolidBrush(fill_colour);
    ::RegisterClassA(&window_class);
}

HWND make_window(HWND parent = nullptr, DWORD style = WS_OVERLAPPEDWINDOW) {
    return CreateWindowA(test_class, "Window under test", style, 0, 0, 100, 100, parent, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

std::string text_of(HWND window) { return std::to_string(reinterpret_cast<intptr_t>(window)); }

// Dispatches this thread's messages until the condition holds or the time is up.
template <typename Condition> bool pump_until(Condition condition, std::chrono::milliseconds limit = 5s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
    return true;
}

// The global function destroyWindow(handle), for handlers that take their own window down.
void destroy_window_function(quill::MemberCall& call) {
    if (std::optional<int64_t> handle = call.args.integer(0)) {
        DestroyWindow(reinterpret_cast<HWND>(static_cast<intptr_t>(*handle)));
    }
}
const quill::ClassDeclaration destroy_window_declaration = {.name = "destroyWindow",
                                                            .call = destroy_window_function};

// The window of the Window object in the global `name`.
HWND global_window(HostEngine& engine, const char* name) {
    HWND handle = nullptr;
    quill::run_native(engine.handle(), [&](quill::ScriptEngine* e) {
        handle = window_object_handle(quill::get_global(e, name));
    });
    return handle;
}

int count_collection(int, void* count) {
    ++*static_cast<int*>(count);
    return 0;
}

// A hidden top-level window of this thread with a class and caption of its own.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        register_test_class();
        window = make_window();
        ASSERT_NE(window, nullptr);
        handle = text_of(window);
    }
    void TearDown() override {
        if (window != nullptr && IsWindow(window)) {
            DestroyWindow(window);
        }
    }

    HWND window = nullptr;
    std::string handle;  // the handle as script text
};

TEST_F(WindowTest, ObjectsForAHandleShowTheWindow) {
    HostEngine engine;
    EXPECT_EQ(engine.run("var w = Window(" + handle + "); w.className"), "TarponWindowTest");
    EXPECT_EQ(engine.run("w.caption"), "Window under test");
    EXPECT_EQ(engine.run("w.visible"), "false");
    EXPECT_EQ(engine.run("w.handle == " + handle), "true");
    EXPECT_EQ(engine.run("typeof w.handle"), "number");
    EXPECT_EQ(engine.run("String(w) + ' ' + new Window(" + handle + ").caption"),
              "[object Window] Window under test");
    ShowWindow(window, SW_SHOWNA);
    EXPECT_EQ(engine.run("w.visible"), "true");
    EXPECT_EQ(engine.run("w.caption = 'changed'; w.caption"), "changed");
    char caption[32] = {};
    GetWindowTextA(window, caption, sizeof caption);
    EXPECT_STREQ(caption, "changed");
}

TEST_F(WindowTest, OnlyAnIntegerHandleOfAWindowMakesAnObject) {
    HostEngine engine;
    EXPECT_EQ(engine.run("Window(0) === null && new Window() === null"), "true");
    EXPECT_EQ(engine.run("Window('" + handle + "') === null"), "true");
    EXPECT_EQ(engine.run("Window(" + handle + ".0) === null"), "true");
    HWND gone = make_window();
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(engine.run("Window(" + text_of(gone) + ") === null"), "true");
    EXPECT_EQ(engine.run("Window(-1) === null && Window(9007199254740993) === null"), "true");
    EXPECT_EQ(engine.run("typeof Window.caption"), "undefined");
}

TEST_F(WindowTest, ObjectsOfOneHandleShareOneWrapperUntilTheLastDies) {
    const size_t before = window_wrapper_count();
    {
        HostEngine engine;
        engine.run("var a = Window(" + handle + "); var b = new Window(" + handle + "); 0");
        EXPECT_EQ(window_wrapper_count(), before + 1);
        engine.run("a = null; 0");
        engine.collect();
        EXPECT_EQ(window_wrapper_count(), before + 1);
        EXPECT_EQ(engine.run("b.caption"), "Window under test");
        engine.run("b = null; 0");
        engine.collect();
        EXPECT_EQ(window_wrapper_count(), before);
        // A new object after the wrapper was freed gets a new one.
        engine.run("var c = Window(" + handle + "); 0");
        EXPECT_EQ(window_wrapper_count(), before + 1);
    }
    // Destroying the engine frees its objects, and with them the wrapper.
    EXPECT_EQ(window_wrapper_count(), before);
}

TEST_F(WindowTest, TheWindowsOwnProcedureComesBackWhateverOrderEnginesLetGo) {
    const LONG_PTR own = GetWindowLongPtrA(window, GWLP_WNDPROC);
    const size_t before = window_wrapper_count();
    auto first = std::make_unique<HostEngine>();
    auto second = std::make_unique<HostEngine>();
    first->run("var w = Window(" + handle + "); var sized = 0; w.onSize = function () { sized++; }; 0");
    second->run("var w = Window(" + handle + "); var sized = 0; w.onSize = function () { sized++; }; 0");
    EXPECT_EQ(window_wrapper_count(), before + 2);
    EXPECT_NE(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
    SetWindowPos(window, nullptr, 0, 0, 150, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(first->run("sized"), "1");
    EXPECT_EQ(second->run("sized"), "1");

    // The first engine to subclass lets go first; the second one's handler still runs.
    first->run("w = null; 0");
    first->collect();
    EXPECT_EQ(window_wrapper_count(), before + 1);
    SetWindowPos(window, nullptr, 0, 0, 160, 120, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(second->run("sized"), "2");
    EXPECT_EQ(first->run("sized"), "1");
    second.reset();
    EXPECT_EQ(window_wrapper_count(), before);
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
    first.reset();
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
}

TEST_F(WindowTest, AnObjectOutlivingItsWindowLeavesItsPropertiesToTheGenericLookup) {
    HostEngine engine;
    engine.run("var w = Window(" + handle + "); 0");
    DestroyWindow(window);
    EXPECT_EQ(engine.run("typeof w.caption + ' ' + typeof w.className + ' ' + typeof w.visible + ' ' + "
                         "typeof w.handle + ' ' + typeof w.left"),
              "undefined undefined undefined undefined undefined");
    EXPECT_EQ(engine.run("w.show(); w.move(1, 2, 3, 4); w.getChildren()"), "undefined");
    EXPECT_EQ(engine.run("Window(" + handle + ") === null"), "true");
}

// A window of another thread is seen but never subclassed: its messages run on its own thread,
// where the engine must not be used.
TEST_F(WindowTest, AnotherThreadsWindowKeepsItsOwnProcedure) {
    HWND other = nullptr;
    DWORD other_thread = 0;
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread thread([&] {
        other = make_window();
        other_thread = GetCurrentThreadId();
        SetEvent(ready);
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) {
            DispatchMessageA(&message);
        }
        DestroyWindow(other);
    });
    ASSERT_EQ(WaitForSingleObject(ready, 5000), WAIT_OBJECT_0);
    CloseHandle(ready);
    ASSERT_NE(other, nullptr);
    const LONG_PTR own = GetWindowLongPtrA(other, GWLP_WNDPROC);
    {
        HostEngine engine;
        EXPECT_EQ(engine.run("var w = Window(" + text_of(other) +
                             "); var sized = 0;"
                             "w.onSize = function () { sized++; }; w.caption"),
                  "Window under test");
        EXPECT_EQ(GetWindowLongPtrA(other, GWLP_WNDPROC), own);
        SetWindowPos(other, nullptr, 0, 0, 150, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        EXPECT_EQ(engine.run("sized + ' ' + w.width"), "0 150");
    }
    PostThreadMessageA(other_thread, WM_QUIT, 0, 0);
    thread.join();
}

// Resizing from outside the script: the handler gets the size type and the new client size, with the
// newest object as this, while no script runs.
TEST_F(WindowTest, ResizingFromOutsideCallsOnSize) {
    HostEngine engine;
    engine.run("var a = Window(" + handle + "); var b = Window(" + handle +
               "); var calls = [];"
               "a.onSize = function (type, width, height) { calls.push([type, width, height, this === b]); };"
               "0");
    SetWindowPos(window, nullptr, 0, 0, 180, 140, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(engine.run("calls.join(';')"),
              "0," + std::to_string(client.right) + "," + std::to_string(client.bottom) + ",true");
    ShowWindow(window, SW_SHOWNA);
    ShowWindow(window, SW_MAXIMIZE);
    EXPECT_EQ(engine.run("calls[calls.length - 1][0]"), std::to_string(SIZE_MAXIMIZED));
}

// A handler that fails leaves neither its error nor its result behind: a failed run keeps its
// message, and the script that caused the event sees its own values.
TEST_F(WindowTest, AFailingHandlerLeavesTheEngineAsItWas) {
    HostEngine engine;
    engine.run("var w = Window(" + handle + "); w.onSize = function () { throw 'from the handler'; }; 0");
    EXPECT_EQ(engine.run("throw 'from the script'"), "failed: from the script");
    const std::string message = engine.message();
    SetWindowPos(window, nullptr, 0, 0, 170, 130, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(engine.message(), message);
    EXPECT_EQ(engine.run("w.width = 200; w.width + 1"), "201");
}

TEST_F(WindowTest, TheRightButtonHandlerIsSetFromNativeCodeAndSwallowsThePress) {
    HostEngine engine;
    ASSERT_EQ(
        engine.run("var w = Window(" + handle + "); var pressed = 0; function press() { pressed++; } 0"),
        "0");
    quill::EngineHandle* h = engine.handle();
    bool stored = false;
    ASSERT_TRUE(quill::run_native(h, [&](quill::ScriptEngine* e) {
        stored = set_window_right_button_handler(quill::get_global(e, "w"), quill::get_global(e, "press"));
        EXPECT_FALSE(
            set_window_right_button_handler(quill::get_global(e, "press"), quill::get_global(e, "w")));
        EXPECT_EQ(window_object_handle(quill::get_global(e, "w")), window);
        EXPECT_EQ(window_object_handle(quill::get_global(e, "press")), nullptr);
    }));
    EXPECT_TRUE(stored);
    EXPECT_EQ(SendMessageA(window, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5)), 0);
    EXPECT_EQ(engine.run("pressed"), "1");
    // No script name reaches the slot.
    EXPECT_EQ(engine.run("w.onContextMenu = 5; w.onRightButton = 5; pressed"), "1");
}

// onEnter when the cursor comes in (the window captures the mouse), onHover every 500 ms while it
// stays, onLeave once when it goes.
TEST_F(WindowTest, TheCursorEntersHoversAndLeaves) {
    HostEngine engine;
    SetWindowPos(window, HWND_TOPMOST, 200, 200, 200, 150, SWP_SHOWWINDOW);
    SetCursorPos(50, 50);
    pump_until([] { return false; }, 200ms);
    engine.run("var w = Window(" + handle +
               "); var events = [];"
               "w.onEnter = function () { events.push('enter'); };"
               "w.onHover = function () { if (events[events.length - 1] != 'hover') events.push('hover'); };"
               "w.onLeave = function () { events.push('leave'); }; 0");
    SetCursorPos(300, 280);
    ASSERT_TRUE(pump_until([&] { return engine.run("events.length") != "0"; })) << "no mouse move arrived";
    EXPECT_EQ(engine.run("events[0]"), "enter");
    EXPECT_EQ(GetCapture(), window);
    EXPECT_TRUE(pump_until([&] { return engine.run("events.join()") == "enter,hover"; }, 3s))
        << engine.run("events.join()");
    SetCursorPos(40, 40);
    EXPECT_TRUE(pump_until([&] { return engine.run("events.join()") == "enter,hover,leave"; }, 3s))
        << engine.run("events.join()");
    EXPECT_NE(GetCapture(), window);
    pump_until([] { return false; }, 700ms);
    EXPECT_EQ(engine.run("events.join()"), "enter,hover,leave");
}

// Names the test's window as the host's main window while it lives.
class MainWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        set_host_main_window(window);
    }
    void TearDown() override {
        set_host_main_window(nullptr);
        WindowTest::TearDown();
    }
};

// The main window is never closed by its own procedure: once the handlers let the close go on, the
// dispatching procedure steps out of the way and posts the message that runs the close routine.
TEST_F(MainWindowTest, AnAllowedCloseIsLeftToTheCloseRoutine) {
    const LONG_PTR own = GetWindowLongPtrA(window, GWLP_WNDPROC);
    HostEngine engine;
    engine.run("var w = Window(" + handle +
               "); var allow = false; var events = [];"
               "w.onQueryClose = function () { events.push('query'); return allow; };"
               "w.onClose = function () { events.push('close'); }; 0");
    MSG message;
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(engine.run("events.join()"), "query");
    EXPECT_FALSE(PeekMessageA(&message, window, 0x8064, 0x8064, PM_REMOVE));

    engine.run("allow = true; 0");
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(engine.run("events.join()"), "query,query,close");
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(PeekMessageA(&message, window, 0x8064, 0x8064, PM_REMOVE));
    EXPECT_EQ(GetWindowLongPtrA(window, GWLP_WNDPROC), own);
    // No longer subclassed: a second close reaches the window's own procedure.
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(engine.run("events.join()"), "query,query,close");
}

TEST_F(MainWindowTest, CreatedWindowsAreChildrenOfTheMainWindow) {
    HostEngine engine;
    ShowWindow(window, SW_SHOWNA);
    ASSERT_EQ(engine.run("var c = Window.create('BUTTON'); [c.left, c.top, c.width, c.height, c.visible]"),
              "0,0,200,20,true");
    HWND made = global_window(engine, "c");
    EXPECT_EQ(GetParent(made), window);
    EXPECT_NE(GetWindowLongPtrA(made, GWL_STYLE) & WS_CHILD, 0);
    EXPECT_EQ(engine.run("c.parent.handle == " + handle + " && Window(" + handle + ").getChildren().length"),
              "1");
    EXPECT_EQ(engine.run("Window.create(5) === null && Window.create('Tarpon_No_Such_Class') === null"),
              "true");
}

// A handler that destroys its own window and lets go of every object for it, with a collection
// while it runs: the dispatching procedure finishes with the wrapper it holds, then frees it.
TEST_F(WindowTest, AHandlerMayDestroyItsWindowAndDropItsObjects) {
    HostEngine engine;
    int collections = 0;
    quill::set_hook(engine.handle(), count_collection, &collections);
    ASSERT_TRUE(quill::run_native(engine.handle(), [](quill::ScriptEngine* e) {
        quill::declare_class(e, destroy_window_declaration);
    }));
    const size_t before = window_wrapper_count();
    engine.run("var a = Window(" + handle + "); var b = Window(" + handle +
               "); var ran = 0;"
               "a.onSize = function () {"
               "  a = null; b = null; destroyWindow(" +
               handle +
               "); ran++;"
               "  var s; for (var i = 0; i < 200000; i++) s = 'churn ' + i;"
               "}; 0");
    EXPECT_EQ(window_wrapper_count(), before + 1);
    SetWindowPos(window, nullptr, 0, 0, 190, 150, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(engine.run("ran"), "1");
    EXPECT_GT(collections, 0);
    engine.collect();
    EXPECT_EQ(window_wrapper_count(), before);
}

// The same on the close path: onClose destroys the window before its own procedure would.
TEST_F(WindowTest, AnOnCloseHandlerMayDestroyItsWindow) {
    HostEngine engine;
    ASSERT_TRUE(quill::run_native(engine.handle(), [](quill::ScriptEngine* e) {
        quill::declare_class(e, destroy_window_declaration);
    }));
    engine.run("var w = Window(" + handle +
               "); var closed = 0;"
               "w.onQueryClose = function () { return true; };"
               "w.onClose = function () { closed++; destroyWindow(" +
               handle + "); }; 0");
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(engine.run("closed + ' ' + typeof w.caption"), "1 undefined");
}

// A window that gets the handle of a destroyed one is another window: it gets a wrapper of its own,
// the old objects do not see it, and their handlers never run for it. The handle here is the short
// form (the low 16 bits), which names whatever window holds that slot of the handle table; the
// system gives a freed slot to the next window made.
TEST_F(WindowTest, AReusedHandleIsANewWindow) {
    HostEngine engine;
    HWND first = make_window(HWND_MESSAGE, 0);
    ASSERT_NE(first, nullptr);
    HWND reused = reinterpret_cast<HWND>(static_cast<uintptr_t>(LOWORD(reinterpret_cast<uintptr_t>(first))));
    if (!IsWindow(reused)) {
        GTEST_SKIP() << "the system has no short form of handles";
    }
    const std::string number = text_of(reused);
    ASSERT_EQ(engine.run("var old = Window(" + number +
                         "); var calls = [];"
                         "old.onSize = function () { calls.push('old'); }; old.caption"),
              "Window under test");
    const size_t before = window_wrapper_count();
    DestroyWindow(first);
    HWND second = CreateWindowA(test_class, "Second window", 0, 0, 0, 100, 100, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(second, nullptr);
    if (second == first || !IsWindow(reused)) {
        DestroyWindow(second);
        GTEST_SKIP() << "the new window got another slot";
    }
    EXPECT_EQ(engine.run("typeof old.caption + ' ' + typeof old.handle"), "undefined undefined");
    EXPECT_EQ(engine.run("var fresh = Window(" + number +
                         "); fresh.onSize = function () { calls.push('new'); };"
                         "fresh.caption"),
              "Second window");
    EXPECT_EQ(window_wrapper_count(), before + 1);
    SetWindowPos(second, nullptr, 0, 0, 30, 30, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(engine.run("calls.join()"), "new");
    // Letting go of the old object leaves the new window's subclass alone.
    engine.run("old = null; 0");
    engine.collect();
    EXPECT_EQ(window_wrapper_count(), before);
    SetWindowPos(second, nullptr, 0, 0, 40, 40, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(engine.run("calls.join()"), "new,new");
    DestroyWindow(second);
}

// A window a script makes really appears: its client area shows its class's background.
TEST_F(WindowTest, AScriptMadeWindowAppearsOnTheScreen) {
    HostEngine engine;
    engine.run("var w = Window.create('" + std::string(test_class) + "'); w.move(320, 240, 520, 260); 0");
    ASSERT_EQ(engine.run("w.visible + ' ' + w.left + ' ' + w.width + ' ' + w.height"), "true 320 200 20");
    HWND made = global_window(engine, "w");
    EXPECT_EQ(GetParent(made), nullptr);
    EXPECT_EQ(GetWindow(made, GW_OWNER), nullptr);
    SetWindowPos(made, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    RedrawWindow(made, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    // The screen's pixels at the window's middle, read into a bitmap of our own.
    COLORREF seen = CLR_INVALID;
    pump_until(
        [&] {
            HDC screen = GetDC(nullptr);
            HDC memory = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, 1, 1);
            HGDIOBJ old = SelectObject(memory, bitmap);
            BitBlt(memory, 0, 0, 1, 1, screen, 420, 250, SRCCOPY);
            seen = GetPixel(memory, 0, 0);
            SelectObject(memory, old);
            DeleteObject(bitmap);
            DeleteDC(memory);
            ReleaseDC(nullptr, screen);
            return seen == fill_colour;
        },
        3s);
    EXPECT_EQ(seen, fill_colour);
    engine.run("w.close(); 0");
    EXPECT_TRUE(pump_until([&] { return !IsWindow(made); }));
}

}  // namespace
}  // namespace tarpon::host::testing

#endif  // _WIN32
