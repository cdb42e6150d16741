// A fresh engine record per test, with the Boolean, Number and String classes and the warnings it
// gives.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/builtins/boolean.h"
#include "engine/builtins/number.h"
#include "engine/builtins/string.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/engine.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"

namespace quill::testing {

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = create_engine_record();
        ASSERT_NE(engine, nullptr);
        engine->trace_sink = [](ScriptEngine*, const char* text, void* data) {
            static_cast<std::vector<std::string>*>(data)->push_back(text);
        };
        engine->trace_data = &warnings;
        register_string_class(engine);
        register_boolean_class(engine);
        register_number_class(engine);
    }
    void TearDown() override { destroy_engine_record(engine); }

    Value str(std::string_view text) { return make_string_from_narrow(engine, text); }
    // The narrow text of a String value.
    static std::string text(const Value& value) {
        EXPECT_EQ(value.tag, Tag::String);
        return value.tag == Tag::String ? utf16_to_narrow(value.payload.string->view()) : std::string();
    }
    std::string text_of(const Value& value) { return text(to_string(engine, value)); }
    Value& global(std::string_view name) {
        Atom atom = intern(engine, name);  // interning may move the slots: index after it
        return engine->globals.items[atom];
    }

    ScriptEngine* engine = nullptr;
    std::vector<std::string> warnings;
};

}  // namespace quill::testing
