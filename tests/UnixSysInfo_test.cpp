#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/SysInfo.h"
#include "testing/RaisedError.h"
#include "testing/ScopedEnv.h"

namespace {

const char variable[] = "ZELT_TEST_VARIABLE";

// Starts each test with the variable unset and restores it afterwards.
class EnvTest : public testing::Test {
protected:
    const ScopedEnv unset{variable, nullptr};
};

TEST_F(EnvTest, UnsetVariable) {
    EXPECT_FALSE(SysInfo::isEnvVariableSet(variable));
    EXPECT_EQ(SysInfo::getEnvVariable(std::nothrow, variable, "fallback"), "fallback");
    EXPECT_EQ(raisedError([] { SysInfo::getEnvVariable(variable); }).raw,
              "getenv(ZELT_TEST_VARIABLE) failed. Variable not set");
}

TEST_F(EnvTest, EmptyValueCountsAsSet) {
    ::setenv(variable, "", 1);
    EXPECT_TRUE(SysInfo::isEnvVariableSet(variable));
    EXPECT_EQ(SysInfo::getEnvVariable(std::nothrow, variable, "fallback"), "");
    EXPECT_EQ(SysInfo::getEnvVariable(variable), "");
}

TEST_F(EnvTest, SetReplacesTheValue) {
    SysInfo::setEnvVariable(variable, "one");
    SysInfo::setEnvVariable(variable, "two words");
    EXPECT_EQ(SysInfo::getEnvVariable(variable), "two words");
    EXPECT_STREQ(std::getenv(variable), "two words");
}

}  // namespace
