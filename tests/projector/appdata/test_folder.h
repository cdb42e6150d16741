// A scratch folder for one test, removed afterwards.
#pragma once

#include <filesystem>
#include <string>

#include "projector/appdata/safe_name.h"

namespace tarpon::appdata::testing {

class TestFolder {
public:
    TestFolder() {
        static int counter = 0;
        m_path = std::filesystem::temp_directory_path() /
                 ("tarpon-appdata-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                  std::to_string(counter++) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TestFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    // The folder's path with a trailing separator, as the run folder has.
    std::string path() const { return m_path.string() + path_separator; }
    std::string file(const std::string& name) const { return join_path(m_path.string(), name); }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

private:
    std::filesystem::path m_path;
};

}  // namespace tarpon::appdata::testing
