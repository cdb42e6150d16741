#include "host/system/display_mode.h"

#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/property_table.h"

namespace tarpon::host {

using namespace quill;

namespace {

struct ModeField {
    const char* name;
    DWORD DEVMODEA::*member;
    DWORD flag;
};

const ModeField mode_fields[] = {
    {"bitsPerPel", &DEVMODEA::dmBitsPerPel, DM_BITSPERPEL},
    {"pelsWidth", &DEVMODEA::dmPelsWidth, DM_PELSWIDTH},
    {"pelsHeight", &DEVMODEA::dmPelsHeight, DM_PELSHEIGHT},
    {"displayFrequency", &DEVMODEA::dmDisplayFrequency, DM_DISPLAYFREQUENCY},
};

DEVMODEA empty_mode() {
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    return mode;
}

} // namespace

Value display_mode_object(ScriptEngine* engine, const DEVMODEA& mode) {
    PropertyTable* table = new_table(engine);
    const Value object = Value::object(table);
    for (const ModeField& field : mode_fields) {
        table_put(engine, table, intern(engine, field.name), Value::integer(mode.*field.member));
    }
    return object;
}

void change_display_mode(ScriptEngine* engine, PropertyTable* object) {
    DEVMODEA mode = empty_mode();
    if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
        mode = empty_mode();
    }
    // Only the fields the script gives are marked: the system keeps the others as they are.
    mode.dmFields = 0;
    for (const ModeField& field : mode_fields) {
        Value value;
        if (table_get(engine, object, intern(engine, field.name), &value)) {
            mode.*field.member = static_cast<DWORD>(to_int32(engine, value));
            mode.dmFields |= field.flag;
        }
    }
    const Atom test = intern(engine, "test");
    Value asked;
    const bool test_only = table_get(engine, object, test, &asked) && to_boolean(asked);
    const LONG code = ChangeDisplaySettingsA(&mode, test_only ? CDS_TEST : CDS_UPDATEREGISTRY);
    table_put(engine, object, test, Value::integer(code));
}

} // namespace tarpon::host
