// An engine made by the runtime services, modules assembled from text, and the warnings given.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/quill.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "tests/vm/assembler.h"

namespace quill::vm::testing {

class VmTest : public ::testing::Test {
public:
    void SetUp() override {
        handle = quill::create_engine();
        ASSERT_NE(handle, nullptr);
        engine = handle->engine;
        quill::set_trace(
            handle, [](ScriptEngine*, const char* text, void* data) {
                static_cast<std::vector<std::string>*>(data)->push_back(text);
            },
            &warnings);
    }
    void TearDown() override { quill::destroy_engine(handle); }

    // Assembles and runs a module.
    bool run(std::string_view source) {
        std::vector<uint8_t> bytes = assemble_or_fail(source);
        return quill::run_compiled_bytes(handle, bytes.data(), bytes.size());
    }
    // Runs ".main" made of the given code and returns its result.
    Value eval(std::string_view code) {
        EXPECT_TRUE(run(".function .main\n" + std::string(code))) << engine->message;
        return engine->result;
    }
    std::string text(const Value& value) {
        Value s = to_string(engine, value);
        return utf16_to_narrow(s.payload.string->view());
    }
    std::string eval_text(std::string_view code) { return text(eval(code)); }
    Value& global(std::string_view name) {
        Atom atom = intern(engine, name);  // interning may move the slots: index after it
        return engine->globals.items[atom];
    }

    EngineHandle* handle = nullptr;
    ScriptEngine* engine = nullptr;
    std::vector<std::string> warnings;
};

}  // namespace quill::vm::testing
