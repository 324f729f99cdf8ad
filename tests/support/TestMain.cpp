#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The program finds a running copy of itself through a socket in the runtime folder. A test
    // that starts the program must never hand its files over to a copy the user (or another test
    // program) has running, so each test process gets a runtime folder of its own.
    const std::filesystem::path runtime =
        std::filesystem::temp_directory_path() / ("kv-test-runtime-" + std::to_string(::getpid()));
    std::filesystem::create_directories(runtime);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(runtime, ignored);
    return result;
}
