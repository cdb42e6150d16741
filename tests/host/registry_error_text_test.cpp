// A failed registry call leaves the system's text for the code the call returned in the engine's
// message buffer, and the script goes on. Scripts cannot read that buffer, so this looks at it from
// the host side.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "engine/quill.h"
#include "host/host_classes.h"
#include "platform/system_error.h"
#include "platform/windows.h"

namespace quill::testing {
namespace {

class RegistryErrorText : public ::testing::Test {
  protected:
    void SetUp() override {
        EngineConfig config;
        std::span<const ClassRegistration> classes = tarpon::host::host_classes();
        config.host_classes = classes.data();
        config.host_class_count = classes.size();
        m_handle = quill::create_engine(&config);
        ASSERT_NE(m_handle, nullptr);
    }
    void TearDown() override { quill::destroy_engine(m_handle); }

    // Runs the source, which must succeed, and answers the message it left.
    std::string message_after(const char* source) {
        EXPECT_TRUE(quill::run_source_text(m_handle, source)) << last_message(m_handle);
        return last_message(m_handle);
    }

    EngineHandle* m_handle = nullptr;
};

TEST_F(RegistryErrorText, FailedCallsLeaveTheTextOfTheirCode) {
    const std::string not_found = tarpon::platform::system_error_text(ERROR_FILE_NOT_FOUND);
    // The registry functions return their code and leave the thread's last error alone.
    SetLastError(ERROR_INVALID_FUNCTION);
    EXPECT_EQ(message_after("var k = new RegKey('HKCU\\\\Software\\\\TarponTest\\\\no such key');"),
              not_found);
    SetLastError(ERROR_INVALID_FUNCTION);
    EXPECT_EQ(message_after("var v = new RegKey('HKCU\\\\Software').getValue('no such value');"), not_found);
    SetLastError(ERROR_INVALID_FUNCTION);
    EXPECT_EQ(message_after("var d = RegKey.deleteKey('HKCU\\\\Software\\\\TarponTest\\\\no such key');"),
              not_found);
}

TEST_F(RegistryErrorText, RulesOfArgumentsLeaveNoText) {
    // No registry call is made for a path without a root on the class object.
    EXPECT_EQ(message_after("var k = new RegKey('Software'); var d = RegKey.deleteKey(5);"), "");
}

}  // namespace
}  // namespace quill::testing

#endif
