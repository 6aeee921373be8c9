#include "platform/signing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct Freer
{
    void operator()(char* code) const { FreeAuthCode(code); }
};
using AuthCode = std::unique_ptr<char, Freer>;

AuthCode sign(const char* text)
{
    return AuthCode(GenerateAuthCode(text));
}

class SigningTest : public ::testing::Test
{
protected:
    void TearDown() override { ::unsetenv("ZAVMO_SIGN_KEY"); }
};

} // namespace

TEST_F(SigningTest, HexHmacSha256WithTheDeploymentKey)
{
    // RFC 4231, test case 2.
    ::setenv("ZAVMO_SIGN_KEY", "Jefe", 1);
    const AuthCode code = sign("what do ya want for nothing?");
    ASSERT_TRUE(code);
    EXPECT_STREQ(code.get(), "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843");

    // The key is read on each call.
    ::setenv("ZAVMO_SIGN_KEY", "other", 1);
    EXPECT_STRNE(sign("what do ya want for nothing?").get(), code.get());
}

TEST_F(SigningTest, DefaultKeyWhenUnsetAndNothingWithoutAKey)
{
    ::unsetenv("ZAVMO_SIGN_KEY");
    const AuthCode first = sign("app/loginCheck2?aid=zvtool&time=1%s");
    const AuthCode again = sign("app/loginCheck2?aid=zvtool&time=1%s");
    ASSERT_TRUE(first && again);
    EXPECT_EQ(std::string(first.get()).size(), 64u);
    EXPECT_STREQ(first.get(), again.get());
    EXPECT_STRNE(first.get(), sign("app/loginCheck2?aid=zvtool&time=2%s").get());

    const AuthCode empty = sign("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(std::string(empty.get()).size(), 64u);

    EXPECT_EQ(GenerateAuthCode(nullptr), nullptr);
    ::setenv("ZAVMO_SIGN_KEY", "", 1);
    EXPECT_EQ(GenerateAuthCode("text"), nullptr);
    FreeAuthCode(nullptr);
}
