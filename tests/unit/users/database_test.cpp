// The user database's own rules, case by case.
#include "users/chatuser.h"

#include <gtest/gtest.h>

namespace {

class Database : public testing::Test {
protected:
    void SetUp() override { InitializeDatabases(); }
    void TearDown() override
    {
        QuerySetup(0);
        FlushDatabases();
        SetCurrentDatabase(0);
    }
};

TEST_F(Database, Placeholder) { EXPECT_EQ(GetSize(), 0); }

}  // namespace
