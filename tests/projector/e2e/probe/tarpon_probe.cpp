// tarpon-probe: looks at a running program's window from outside and drives it.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tests/projector/e2e/probe/dialog_probe.h"
#include "tests/projector/e2e/probe/window_probe.h"

namespace {

const char* const usage =
    "usage: tarpon-probe COMMAND [ARGUMENTS] [WINDOW OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  wait                 wait until the window is there; prints its handle\n"
    "  info                 prints class, caption, styles, rectangles, state and region\n"
    "  click X Y            a left click at client coordinates X, Y\n"
    "  key VK               presses the key with virtual-key code VK (decimal or 0x hex)\n"
    "  close                posts WM_CLOSE and waits until the window has gone\n"
    "  end-session          sends WM_QUERYENDSESSION and WM_ENDSESSION (a log-off)\n"
    "  shot FILE            saves a screenshot of the window as a 32-bit BMP file\n"
    "\n"
    "Dialogs and property sheets (controls by id, on the sheet's current page first):\n"
    "  page N               shows page N of the property sheet, as a click on its tab\n"
    "  set ID TEXT          replaces the text of edit field ID\n"
    "  check ID 0|1         clears or ticks check box ID\n"
    "  choose ID N          chooses item N of drop-down list ID\n"
    "  text ID              prints the text of control ID\n"
    "  ok, cancel           presses the property sheet's OK or Cancel button\n"
    "\n"
    "Window options (together they select the first matching top-level window):\n"
    "  --pid N              belongs to process N\n"
    "  --process NAME       belongs to a program of this file name (such as show.exe)\n"
    "  --class NAME         has this window class (letter case ignored)\n"
    "  --caption TEXT       has exactly this caption\n"
    "  --hidden             also consider invisible windows\n"
    "  --timeout MS         wait up to MS milliseconds for it (default 5000)\n"
    "  --client             shot: only the client area\n"
    "\n"
    "Exit status: 0 done, 1 no such window or the action failed, 2 bad command line.\n";

int bad_command_line(const char* what) {
    std::fprintf(stderr, "tarpon-probe: %s\n(tarpon-probe --help shows the usage)\n", what);
    return 2;
}

bool parse_number(const char* text, long& value) {
    char* end = nullptr;
    value = std::strtol(text, &end, 0);
    return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        return bad_command_line("no command given");
    }
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(usage, stdout);
        return 0;
    }

    tarpon::probe::WindowQuery query;
    long timeout = 5000;
    bool client_only = false;
    std::vector<std::string> positional;
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (option == "--pid" || option == "--timeout") {
            const char* text = value();
            long number = 0;
            if (text == nullptr || !parse_number(text, number) || number < 0) {
                return bad_command_line((option + " needs a number").c_str());
            }
            if (option == "--pid") {
                query.process_id = static_cast<DWORD>(number);
            } else {
                timeout = number;
            }
        } else if (option == "--class" || option == "--caption" || option == "--process") {
            const char* text = value();
            if (text == nullptr) {
                return bad_command_line((option + " needs a text").c_str());
            }
            (option == "--class" ? query.class_name : option == "--caption" ? query.caption : query.process_name) = text;
        } else if (option == "--hidden") {
            query.visible_only = false;
        } else if (option == "--client") {
            client_only = true;
        } else if (option == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (option.size() > 2 && option.compare(0, 2, "--") == 0) {
            return bad_command_line(("unknown option " + option).c_str());
        } else {
            positional.push_back(option);
        }
    }

    size_t wanted = 0;
    if (command == "click") {
        wanted = 2;
    } else if (command == "key" || command == "shot" || command == "page" || command == "text") {
        wanted = 1;
    } else if (command == "set" || command == "check" || command == "choose") {
        wanted = 2;
    } else if (command != "wait" && command != "info" && command != "close" && command != "end-session" &&
               command != "ok" && command != "cancel") {
        return bad_command_line(("unknown command " + command).c_str());
    }
    if (positional.size() != wanted) {
        return bad_command_line((command + " takes " + std::to_string(wanted) + " argument(s)").c_str());
    }
    if (query.process_id == 0 && query.process_name.empty() && query.class_name.empty() && query.caption.empty()) {
        return bad_command_line("name the window with --pid, --process, --class or --caption");
    }
    long numbers[2] = {};
    if (command == "click" || command == "key" || command == "page" || command == "text" || command == "set" ||
        command == "check" || command == "choose") {
        // set: only the id is a number.
        for (size_t i = 0; i < (command == "set" ? 1 : positional.size()); ++i) {
            if (!parse_number(positional[i].c_str(), numbers[i])) {
                return bad_command_line((positional[i] + " is not a number").c_str());
            }
        }
    }

    HWND window = tarpon::probe::wait_for_window(query, static_cast<int>(timeout));
    if (window == nullptr) {
        std::fprintf(stderr, "tarpon-probe: no such window within %ld ms\n", timeout);
        return 1;
    }
    bool done = true;
    if (command == "wait") {
        std::printf("0x%llX\n", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
    } else if (command == "info") {
        std::fputs(tarpon::probe::describe(tarpon::probe::window_info(window)).c_str(), stdout);
    } else if (command == "click") {
        done = tarpon::probe::click(window, static_cast<int>(numbers[0]), static_cast<int>(numbers[1]));
    } else if (command == "key") {
        done = tarpon::probe::press_key(window, static_cast<UINT>(numbers[0]));
    } else if (command == "close") {
        done = tarpon::probe::request_close(window) &&
               tarpon::probe::wait_until_gone(window, static_cast<int>(timeout > 0 ? timeout : 5000));
    } else if (command == "end-session") {
        bool agreed = false;
        done = tarpon::probe::end_session(window, static_cast<int>(timeout > 0 ? timeout : 5000), &agreed);
        std::printf("agreed: %s\n", agreed ? "yes" : "no");
    } else if (command == "shot") {
        auto image = tarpon::probe::screenshot(window, client_only);
        done = image && image->save_bmp(positional[0]);
        if (done) {
            std::printf("%s: %dx%d\n", positional[0].c_str(), image->width, image->height);
        }
    }
    const int id = static_cast<int>(numbers[0]);
    if (command == "page") {
        done = tarpon::probe::select_page(window, id);
    } else if (command == "set") {
        done = tarpon::probe::set_control_text(window, id, positional[1]);
    } else if (command == "check") {
        done = tarpon::probe::set_checked(window, id, numbers[1] != 0);
    } else if (command == "choose") {
        done = tarpon::probe::choose_item(window, id, static_cast<int>(numbers[1]));
    } else if (command == "text") {
        done = tarpon::probe::dialog_control(window, id) != nullptr;
        std::printf("%s\n", tarpon::probe::control_text(window, id).c_str());
    } else if (command == "ok" || command == "cancel") {
        done = tarpon::probe::press_sheet_button(
            window, command == "ok" ? tarpon::probe::SheetButton::Ok : tarpon::probe::SheetButton::Cancel);
    }
    if (!done) {
        std::fprintf(stderr, "tarpon-probe: %s failed\n", command.c_str());
        return 1;
    }
    return 0;
}
