// An engine with every host class of the build, as quill.exe makes it, for tests that run script
// text and look at what the host objects did.
#pragma once

#include <gtest/gtest.h>

#include <span>
#include <string>

#include "engine/quill.h"
#include "engine/values/collector.h"
#include "host/host_classes.h"

namespace tarpon::host::testing {

class HostEngine {
public:
    HostEngine() {
        quill::EngineConfig config;
        std::span<const quill::ClassRegistration> classes = host_classes();
        config.host_classes = classes.data();
        config.host_class_count = classes.size();
        m_handle = quill::create_engine(&config);
    }
    ~HostEngine() { quill::destroy_engine(m_handle); }
    HostEngine(const HostEngine&) = delete;
    HostEngine& operator=(const HostEngine&) = delete;

    // Runs the text; the string conversion of its result, or "failed: <message>".
    std::string run(const std::string& source) {
        if (!quill::run_source_text(m_handle, source.c_str())) {
            return std::string("failed: ") + quill::last_message(m_handle);
        }
        return quill::last_result_text(m_handle);
    }
    const char* message() const { return quill::last_message(m_handle); }
    quill::EngineHandle* handle() const { return m_handle; }
    // A full collection: whatever the globals no longer hold is freed.
    void collect() {
        m_handle->engine->result = quill::Value();
        quill::collect(m_handle->engine, m_handle->engine->stack.saved_top);
    }

private:
    quill::EngineHandle* m_handle = nullptr;
};

}  // namespace tarpon::host::testing
