#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "host/ui/host_window.h"
#include "platform/windows.h"
#include "tests/host/host_engine.h"
#include "tests/host/ui_dialogs/dialog_driver.h"
#include "tests/host/ui_dialogs/dialog_driver.h"

namespace tarpon::host::testing {
namespace {

// A RIFF wave file of `milliseconds` of an 8 kHz, 8-bit mono square wave.
void write_wave(const std::string& path, uint32_t milliseconds) {
    const uint32_t rate = 8000;
    const uint32_t samples = rate * milliseconds / 1000;
    std::vector<uint8_t> data(samples);
    for (uint32_t i = 0; i < samples; ++i) {
        data[i] = (i / 10) % 2 != 0 ? 0xC0 : 0x40;
    }
    std::ofstream file(path, std::ios::binary);
    auto u32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            file.put(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    auto u16 = [&](uint16_t v) {
        file.put(static_cast<char>(v & 0xFF));
        file.put(static_cast<char>(v >> 8));
    };
    file.write("RIFF", 4);
    u32(36 + samples);
    file.write("WAVEfmt ", 8);
    u32(16);
    u16(1);  // PCM
    u16(1);  // mono
    u32(rate);
    u32(rate);  // bytes per second
    u16(1);    // block alignment
    u16(8);    // bits per sample
    file.write("data", 4);
    u32(samples);
    file.write(reinterpret_cast<const char*>(data.data()), samples);
}

std::string script_path(const std::string& path) {
    std::string text;
    for (char c : path) {
        text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    }
    return text;
}

class MciWaveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        GetTempPathA(sizeof temp, temp);
        path = std::string(temp) + "tarpon_tone_" + std::to_string(GetCurrentProcessId()) + ".wav";
        write_wave(path, 250);
    }
    void TearDown() override { DeleteFileA(path.c_str()); }

    std::string path;
    HostEngine engine;
};

TEST_F(MciWaveTest, AWaveFileOpensWithItsLengthAndPlaysToTheEndWhereTheDeviceCan) {
    EXPECT_EQ(engine.run("var m = new MCI(); m.deviceType = 'waveaudio'; m.fileName = '" + script_path(path) +
                         "'; m.command = 'open'; [m.error, m.errorMsg, m.length, m.position].join(',')"),
              "false,,250,0");
    EXPECT_EQ(engine.run("m.timeFormat = 8; m.length"), "2000");  // bytes
    EXPECT_EQ(engine.run("m.timeFormat = 0; m.to = 100; m.command = 'seek'; m.position"), "100");
    // Playing needs a sound device, which a test machine may lack: then the play fails, at once
    // with the device's text or later through onNotify (MCI_NOTIFY_FAILURE, 8); otherwise it
    // completes and says so through onNotify (MCI_NOTIFY_SUCCESSFUL, 1).
    const std::string played =
        engine.run("var codes = []; m.onNotify = function (code) { codes[codes.length] = code; };"
                   "m.notify = true; m.from = 0; m.to = -1; m.command = 'play';"
                   "if (!m.error) { for (var i = 0; i < 2000000 && codes.length == 0; i++) processMsg(); }"
                   "m.error ? 'failed: ' + m.errorMsg : 'notified: ' + codes.join(',')");
    if (played.rfind("failed: ", 0) == 0) {
        EXPECT_GT(played.size(), std::string("failed: ").size()) << played;
    } else {
        EXPECT_TRUE(played == "notified: 1" || played == "notified: 8") << played;
    }
    EXPECT_EQ(engine.run("m.notify = false; m.command = 'close'; [m.error, m.deviceID].join(',')"),
              "false,0");
}

TEST_F(MciWaveTest, FreeingAnObjectClosesItsDevice) {
    EXPECT_EQ(engine.run("var m = new MCI(); m.deviceType = 'waveaudio'; m.fileName = '" + script_path(path) +
                         "'; m.command = 'open'; m.error"),
              "false");
    EXPECT_EQ(engine.run("m.sendCmdString('status _Quill_MCI_0 ready')"), "true");
    engine.run("m = null; 0");
    engine.collect();
    EXPECT_EQ(engine.run("new MCI().sendCmdString('status _Quill_MCI_0 ready') == "
                         "new MCI().sendCmdString('status no_such_alias ready')"),
              "true");
}

// The playback window is a hidden child of the main window; when the main window goes first, the
// object later frees nothing of another window's.
TEST(MciWindowTest, EachObjectHasAHiddenPlaybackChildOfTheMainWindow) {
    HWND main = CreateWindowA("STATIC", "main", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(main, nullptr);
    set_host_main_window(main);
    HostEngine engine;
    EXPECT_EQ(engine.run("var m = new MCI(); var n = MCI(); 0"), "0");
    HWND playback = FindWindowExA(main, nullptr, "Tarpon_Playback_Window", nullptr);
    ASSERT_NE(playback, nullptr);
    EXPECT_NE(FindWindowExA(main, playback, "Tarpon_Playback_Window", nullptr), nullptr);
    EXPECT_EQ(window_text(playback), "Playback");
    EXPECT_EQ(GetWindowLongA(playback, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD);
    RECT area = {};
    GetWindowRect(playback, &area);
    EXPECT_EQ(area.right - area.left, 0);
    EXPECT_EQ(area.bottom - area.top, 0);

    DestroyWindow(main);
    set_host_main_window(nullptr);
    EXPECT_EQ(engine.run("m = null; n = null; 0"), "0");
    engine.collect();
    EXPECT_EQ(engine.run("new MCI().deviceID"), "0");
}

}  // namespace
}  // namespace tarpon::host::testing

#endif
