// SPDX-License-Identifier: MIT
#pragma once

#include "tests/support/ChildProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace vigilon::test {

// Tests of the vigilon-reg program that ctest hands them
// (VIGILON_REG_TOOL); run alone, they are skipped.
class RegToolFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char *path = std::getenv("VIGILON_REG_TOOL");
        if (!path || !*path)
            GTEST_SKIP() << "VIGILON_REG_TOOL is not set; run the tests through ctest";
        tool_ = path;
    }

    // The program on these arguments, over the store at storePath.
    RunResult runTool(const std::string &storePath, const std::vector<std::string> &args) const
    {
        std::vector<std::string> argv{tool_};
        argv.insert(argv.end(), args.begin(), args.end());
        return run(argv, {"VIGILON_REGISTRY=" + storePath});
    }

    std::string tool_;
};

} // namespace vigilon::test
