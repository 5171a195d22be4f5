// A fresh simulated machine for each test: its own root folder (drive C:
// below it, C:\TEMP as the temporary folder), nothing else set up.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <unistd.h>

#include "platform/host/control.h"

class HostTest : public testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("updater-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        platform::HostReset(root_.string());
    }
    void TearDown() override {
        platform::HostReset(root_.string());
        std::filesystem::remove_all(root_);
    }
    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
    static inline int counter_ = 0;
};
