#include "engine/values/errors.h"

#include <cstring>

#include "engine/values/plain_heap.h"
#include "engine_fixture.h"

namespace quill::testing {
namespace {

using ErrorTest = EngineTest;

TEST_F(ErrorTest, RuntimeErrorsCarryThePrefix) {
    EXPECT_FALSE(run_protected(engine, [&] { raise_error(engine, Message::StackOverflow); }));
    EXPECT_STREQ(engine->message, "Runtime error: stack overflow");
    EXPECT_TRUE(run_protected(engine, [] {}));
    EXPECT_STREQ(engine->message, "");  // cleared at the start of every service
}

TEST_F(ErrorTest, LongMessagesAreCut) {
    std::string long_text(5000, 'x');
    EXPECT_FALSE(run_protected(engine, [&] {
        set_message(engine, "%s", long_text.c_str());
        raise_runtime_error(engine);
    }));
    EXPECT_EQ(std::strlen(engine->message), config::message_buffer_size - 1);
    EXPECT_EQ(std::string(engine->message, 15), "Runtime error: ");

    std::string long_name(3000, 'n');
    warn(engine, Message::UnknownMethod, long_name.c_str());
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0].size(), config::warning_buffer_size - 1);
}

TEST_F(ErrorTest, TryRecordsReceiveTheMessageAsTheirException) {
    auto* record = static_cast<ProtectionRecord*>(plain_allocate(engine, sizeof(ProtectionRecord)));
    *record = ProtectionRecord{};
    record->is_try = true;
    bool caught = false;
    EXPECT_TRUE(run_protected(engine, [&] {
        record->link = engine->protection;
        engine->protection = record;
        try {
            raise_error(engine, Message::CantConvertToObject);
        } catch (const ScriptUnwind& unwind) {
            caught = unwind.target == record;
        }
        EXPECT_EQ(text(record->exception), "Runtime error: Can't convert to object");
        // Left on the chain: the service frees abandoned try records.
    }));
    EXPECT_TRUE(caught);
    EXPECT_EQ(engine->protection, nullptr);
}

TEST_F(ErrorTest, ServicesRestoreTheSavedStackTop) {
    Value* before = engine->stack.saved_top;
    EXPECT_FALSE(run_protected(engine, [&] {
        engine->stack.saved_top -= 5;
        raise_error(engine, Message::OutOfMemory);
    }));
    EXPECT_EQ(engine->stack.saved_top, before);
    EXPECT_EQ(engine->result.tag, Tag::Undefined);
}

TEST_F(ErrorTest, NestedServicesUnwindToTheInnermost) {
    bool inner = true;
    bool outer = run_protected(engine, [&] {
        inner = run_protected(engine, [&] { raise_error(engine, Message::HookBreak, 3); });
        EXPECT_STREQ(engine->message, "Runtime error: hook break 3");
    });
    EXPECT_TRUE(outer);
    EXPECT_FALSE(inner);
}

TEST_F(ErrorTest, WarningsNeverTouchTheMessageBuffer) {
    set_message(engine, "kept");
    warn(engine, Message::UndefinedVariable, "v");
    warn(engine, Message::InvalidIndex);
    EXPECT_STREQ(engine->message, "kept");
    EXPECT_EQ(warnings, (std::vector<std::string>{"Warning: using undefined variable \"v\"",
                                                  "Warning: invalid index for operator []"}));
    engine->trace_sink = nullptr;
    warn(engine, Message::InvalidIndex);  // discarded
}

}  // namespace
}  // namespace quill::testing
