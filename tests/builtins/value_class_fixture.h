// The engine of VmTest, with helpers that reach the value classes the way scripts
// and the engine do: through the call services and the class's construct handler.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "engine/quill.h"
#include "engine/values/atoms.h"
#include "engine/values/conversions.h"
#include "engine/values/host_class.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "engine/values/text_codec.h"
#include "tests/vm/vm_fixture.h"

namespace quill::testing {

class ValueClassTest : public vm::testing::VmTest {
protected:
    Value global(const char* name) { return get_global(engine, name); }
    Value str(std::u16string_view text) { return make_string_copy(engine, text); }

    // The class object called as a function; false on failure, with the text in the message buffer.
    bool call(const char* name, std::initializer_list<Value> arguments) {
        return quill::call_function(handle, name, arguments.begin(), static_cast<uint32_t>(arguments.size()));
    }
    // new Name(arguments), as the NEW instruction asks the class's construct handler.
    bool construct(const char* name, std::initializer_list<Value> arguments) {
        std::vector<Value> block{Value::integer(static_cast<int64_t>(arguments.size()))};
        block.insert(block.end(), arguments.begin(), arguments.end());
        Value constructor = global(name);
        return run_protected(engine, [&] {
            HostClass* cls = constructor.payload.host->cls;
            Value made;
            cls->construct(engine, cls, block.data(), &made);
            engine->result = made;
        });
    }
    // receiver.name(arguments) through the method-call service.
    bool method(const Value& receiver, const char* name, std::initializer_list<Value> arguments = {}) {
        return quill::call_method(handle, receiver, name, arguments.begin(), static_cast<uint32_t>(arguments.size()));
    }
    // The text of the last result; "<tag N>" when it is not a String.
    std::string result_text() const {
        const Value& v = engine->result;
        return v.tag == Tag::String ? utf16_to_narrow(v.payload.string->view())
                                    : "<tag " + std::to_string(static_cast<int>(v.tag)) + ">";
    }
    // The engine's string conversion of a value.
    std::string text_of(const Value& value) { return utf16_to_narrow(to_string(engine, value).payload.string->view()); }
};

}  // namespace quill::testing
