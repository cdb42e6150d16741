#include "projector/appdata/run_folder.h"

#include <gtest/gtest.h>

namespace tarpon::appdata {
namespace {

TEST(RunFolderName, OnlyTheGuidForm) {
    EXPECT_TRUE(is_run_folder_name("{0F8FAD5B-D9CB-469F-A165-70867728950E}"));
    EXPECT_TRUE(is_run_folder_name("{0f8fad5b-d9cb-469f-a165-70867728950e}"));
    EXPECT_TRUE(is_run_folder_name(new_guid_text()));
    EXPECT_FALSE(is_run_folder_name(""));
    EXPECT_FALSE(is_run_folder_name("0F8FAD5B-D9CB-469F-A165-70867728950E"));      // no braces
    EXPECT_FALSE(is_run_folder_name("{0F8FAD5B-D9CB-469F-A165-70867728950E}x"));
    EXPECT_FALSE(is_run_folder_name("{0F8FAD5B-D9CB-469F-A165-70867728950G}"));    // not hex
    EXPECT_FALSE(is_run_folder_name("{0F8FAD5BD-9CB-469F-A165-70867728950E}"));    // dash misplaced
    EXPECT_FALSE(is_run_folder_name("{..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\.}"));
}

}  // namespace
}  // namespace tarpon::appdata
