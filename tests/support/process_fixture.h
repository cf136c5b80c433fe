// The base of every fixture that touches process-wide state: each case
// starts from, and leaves behind, the process as it was at start.
#pragma once

#include <gtest/gtest.h>

#include "tests/support/process_state.h"

class ProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ResetProcessState(); }
    void TearDown() override { ResetProcessState(); }
};
