// Text at the boundary: script strings to 8-bit text and WCHAR text and back.
#include <gtest/gtest.h>

#include <string>

#include "engine/quill.h"
#include "engine/values/engine.h"
#include "engine/values/protected_run.h"
#include "engine/values/string_record.h"
#include "host/common/text.h"

#ifdef _WIN32
#include "host/common/system_error.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"
#include "platform/windows.h"
#endif

namespace tarpon::host {
namespace {

using namespace quill;

class BoundaryText : public ::testing::Test {
protected:
    void SetUp() override { handle = quill::create_engine(); }
    void TearDown() override { quill::destroy_engine(handle); }
    ScriptEngine* engine() { return handle->engine; }
    EngineHandle* handle = nullptr;
};

TEST_F(BoundaryText, AnsiRoundTripKeepsNuls) {
    ASSERT_TRUE(run_protected(engine(), [&] {
        const std::string bytes("a\0b c", 5);
        Value value = ansi_string(engine(), bytes);
        EXPECT_EQ(value.payload.string->length, 5u);
        EXPECT_EQ(ansi_text(value.payload.string), bytes);
        // Terminated buffers end at their first NUL.
        EXPECT_EQ(ansi_string_z(engine(), "abc\0def").payload.string->length, 3u);
        EXPECT_EQ(ansi_string_z(engine(), nullptr).payload.string->length, 0u);
    }));
}

TEST_F(BoundaryText, ToStringConversionOfAnyValue) {
    ASSERT_TRUE(run_protected(engine(), [&] {
        EXPECT_EQ(ansi_of(engine(), Value::integer(-12)), "-12");
        EXPECT_EQ(ansi_of(engine(), Value::boolean(true)), "true");
        EXPECT_EQ(ansi_of(engine(), Value::undefined()), "undefined");
    }));
}

#ifdef _WIN32
TEST_F(BoundaryText, WideTextIsUnitForUnit) {
    ASSERT_TRUE(run_protected(engine(), [&] {
        const std::u16string text(u"\u00E9\u20AC\xD800x", 4);
        Value value = make_string_copy(engine(), text);
        std::wstring wide = wide_text(value.payload.string);
        ASSERT_EQ(wide.size(), 4u);
        EXPECT_EQ(wide[1], L'\u20AC');
        EXPECT_EQ(wide_string(engine(), wide).payload.string->view(), text);
    }));
    // The ANSI side is the system code page: "é" is one byte in code page 1252.
    EXPECT_EQ(platform::wide_to_ansi(L"\u00E9"), "\xE9");
    EXPECT_EQ(platform::ansi_to_wide("\xE9"), L"\u00E9");
}

TEST(SystemError, TextOfACodeWithoutItsLineEnd) {
    std::string text = platform::system_error_text(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_EQ(platform::system_error_text(0x2FFFFFFF), "error 805306367");
}

TEST_F(BoundaryText, SystemErrorGoesToTheMessageBuffer) {
    SetLastError(ERROR_ACCESS_DENIED);
    store_last_error(engine());
    EXPECT_EQ(std::string(last_message(handle)), platform::system_error_text(ERROR_ACCESS_DENIED));
}
#endif

}  // namespace
}  // namespace tarpon::host
