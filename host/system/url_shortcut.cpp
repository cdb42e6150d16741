// The URLShortcut class: an Internet shortcut file read and edited through the shell's
// InternetShortcut object. The file is loaded when the object is made; changes reach it only
// through save.
#include <memory>
#include <string>

#include "host/common/class.h"
#include "host/system/link_file.h"
#include "host/system/system_classes.h"
#include "platform/com.h"
#include "platform/windows.h"

#include <intshcut.h>

namespace tarpon::host {

namespace {

struct UrlShortcutRecord {
    platform::ComScope com;  // first: the apartment outlives the shortcut object
    platform::ComPtr<IUniformResourceLocatorA> locator;
    std::wstring file;  // the constructor's path for the file calls; empty when too long
};

// The text the shortcut object hands out, freed with the task allocator.
struct TaskText {
    char* text = nullptr;
    ~TaskText() { CoTaskMemFree(text); }
};

void url_shortcut_construct(MemberCall& call) {
    *call.result = Value::null();
    const StringRecord* path = call.args.string(0);
    if (path == nullptr) {
        return;
    }
    auto record = std::make_unique<UrlShortcutRecord>();
    record->file = link_file_path(path);
    if (FAILED(CoCreateInstance(CLSID_InternetShortcut, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IUniformResourceLocatorA, record->locator.put_void()))) {
        return;
    }
    // A file that is missing or cannot be read leaves a new, empty shortcut.
    load_link_file(record->locator.get(), record->file);
    *call.result = make_instance(call.engine, call.cls, std::move(record));
}

void url_shortcut_url(MemberCall& call) {
    TaskText url;
    if (SUCCEEDED(call.data<UrlShortcutRecord>().locator->GetURL(&url.text)) && url.text != nullptr) {
        *call.result = ansi_string_z(call.engine, url.text);
    }
}
// A URL without a protocol gets the default one.
void url_shortcut_set_url(MemberCall& call, const Value& value) {
    call.data<UrlShortcutRecord>().locator->SetURL(ansi_of(call.engine, value).c_str(),
                                                   IURL_SETURL_FL_USE_DEFAULT_PROTOCOL);
}

void url_shortcut_save(MemberCall& call) {
    const UrlShortcutRecord& record = call.data<UrlShortcutRecord>();
    save_link_file(record.locator.get(), record.file);
}

const Member url_shortcut_members[] = {
    property("url", url_shortcut_url, url_shortcut_set_url, Needs::Instance),
    method("save", url_shortcut_save, Needs::Instance),
};

const ClassDeclaration url_shortcut_class = {
    .name = "URLShortcut",
    .class_text = "[object URLShortcut]",
    .members = url_shortcut_members,
    .construct = url_shortcut_construct,
    .destroy = delete_instance<UrlShortcutRecord>,
};

}  // namespace

void register_url_shortcut_class(ScriptEngine* engine) { declare_class(engine, url_shortcut_class); }

}  // namespace tarpon::host
