#ifdef _WIN32

#include "host/ui/window.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/host/host_engine.h"

namespace tarpon::host::testing {
namespace {

// A hidden top-level window of this thread with a class and caption of its own.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA window_class = {};
        window_class.lpfnWndProc = DefWindowProcA;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = "TarponWindowTest";
        RegisterClassA(&window_class);
        window = CreateWindowA("TarponWindowTest", "Window under test", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                               nullptr, nullptr, window_class.hInstance, nullptr);
        ASSERT_NE(window, nullptr);
        handle = std::to_string(reinterpret_cast<intptr_t>(window));
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
    // Read-only for now: writes leave the window as it is.
    EXPECT_EQ(engine.run("w.caption = 'changed'; w.caption"), "Window under test");
}

TEST_F(WindowTest, OnlyAnIntegerHandleOfAWindowMakesAnObject) {
    HostEngine engine;
    EXPECT_EQ(engine.run("Window(0) === null && new Window() === null"), "true");
    EXPECT_EQ(engine.run("Window('" + handle + "') === null"), "true");
    EXPECT_EQ(engine.run("Window(" + handle + ".0) === null"), "true");
    HWND gone = CreateWindowA("TarponWindowTest", "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    EXPECT_EQ(engine.run("Window(" + std::to_string(reinterpret_cast<intptr_t>(gone)) + ") === null"), "true");
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

TEST_F(WindowTest, EachEngineHasItsOwnWrapper) {
    const size_t before = window_wrapper_count();
    HostEngine first;
    HostEngine second;
    first.run("var w = Window(" + handle + "); 0");
    second.run("var w = Window(" + handle + "); 0");
    EXPECT_EQ(window_wrapper_count(), before + 2);
    second.run("w = null; 0");
    second.collect();
    EXPECT_EQ(window_wrapper_count(), before + 1);
    EXPECT_EQ(first.run("w.className"), "TarponWindowTest");
}

TEST_F(WindowTest, AnObjectOutlivingItsWindowLeavesItsPropertiesToTheGenericLookup) {
    HostEngine engine;
    engine.run("var w = Window(" + handle + "); 0");
    DestroyWindow(window);
    EXPECT_EQ(engine.run("typeof w.caption + ' ' + typeof w.className + ' ' + typeof w.visible + ' ' + "
                         "typeof w.handle"),
              "undefined undefined undefined undefined");
    EXPECT_EQ(engine.run("Window(" + handle + ") === null"), "true");
}

}  // namespace
}  // namespace tarpon::host::testing

#endif  // _WIN32
