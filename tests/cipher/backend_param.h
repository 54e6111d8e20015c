#pragma once

#include <gtest/gtest.h>

#include <string>

#include "cipher/backend.h"

namespace cipher_test {

// Runs a test once on the portable code and once on the processor's AES and
// SHA instructions; the hardware run is skipped on a processor with neither.
class BackendTest : public testing::TestWithParam<cipher::Backend> {
protected:
    void SetUp() override {
        if (GetParam() == cipher::Backend::Hardware && !cipher::AesHardwareAvailable() &&
            !cipher::ShaHardwareAvailable()) {
            GTEST_SKIP() << "processor has neither AES-NI nor the SHA extensions";
        }
        cipher::SetBackend(GetParam());
    }
    void TearDown() override { cipher::SetBackend(cipher::Backend::Hardware); }
};

inline std::string BackendName(const testing::TestParamInfo<cipher::Backend>& info) {
    return info.param == cipher::Backend::Hardware ? "Hardware" : "Portable";
}

#define INSTANTIATE_BACKENDS(suite)                                                             \
    INSTANTIATE_TEST_SUITE_P(                                                                   \
        Backends, suite, testing::Values(cipher::Backend::Portable, cipher::Backend::Hardware), \
        cipher_test::BackendName)

}  // namespace cipher_test
