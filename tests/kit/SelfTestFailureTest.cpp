// A key library whose known-answer test fails must refuse all work, from the
// first call on, without touching the caller's buffers.
#include "KitLibrary.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <vector>

using kittest::KitLibrary;

TEST(SelfTestFailure, EveryFunctionReturnsTheSelfTestCode)
{
    KitLibrary kit(QUORVEX_BROKEN_KIT);
    ASSERT_TRUE(kit.ok()) << kit.error;

    int32_t h = 12345;
    const std::string path = (std::filesystem::temp_directory_path() / "kit-selftest-never.PRI").string();
    EXPECT_EQ(HL_E_SELF_TEST, kit.on(&h, HL_MODE_KEY_FILE, path.c_str()));
    EXPECT_EQ(-1, h);
    EXPECT_EQ(HL_E_SELF_TEST, kit.on(&h, HL_MODE_HASH_ONLY, nullptr));
    EXPECT_EQ(HL_E_SELF_TEST, kit.on(nullptr, HL_MODE_HASH_ONLY, nullptr));
    EXPECT_EQ(HL_E_SELF_TEST, kit.off(1));
    EXPECT_EQ(HL_E_SELF_TEST, kit.format(1));

    std::array<unsigned char, 256> area;
    area.fill(0xCC);
    std::array<unsigned char, HL_SEED_SIZE> seed{};
    EXPECT_EQ(HL_E_SELF_TEST, kit.generate(1, area.data(), "", 0, "SENHA123", "SENHA123", seed.data(), area.data()));
    EXPECT_EQ(HL_E_SELF_TEST, kit.getPublicKey(1, area.data()));
    EXPECT_EQ(HL_E_SELF_TEST, kit.getUserData(1, area.data()));
    EXPECT_EQ(HL_E_SELF_TEST, kit.updateUserData(1, area.data(), "SENHA123"));
    EXPECT_EQ(HL_E_SELF_TEST, kit.putCertificate(1, area.data()));
    EXPECT_EQ(HL_E_SELF_TEST, kit.changePassword(1, "SENHA123", "SENHA456"));
    HlHashAlgDetails details{};
    details.size = HL_DETAILS_SIZE;
    EXPECT_EQ(HL_E_SELF_TEST, kit.getHashAlgDetails(1, HL_HASH_ALG_SHA256_16, &details));
    EXPECT_EQ(0, details.contextSize);
    EXPECT_EQ(HL_E_SELF_TEST, kit.initHash(1, HL_HASH_ALG_SHA256_16, area.data()));
    EXPECT_EQ(HL_E_SELF_TEST, kit.contHash(area.data(), "abc", 3));
    EXPECT_EQ(HL_E_SELF_TEST, kit.endHash(area.data(), area.data()));
    EXPECT_EQ(HL_E_SELF_TEST, kit.changeDefIntParam(1, HL_PARAM_SIGN_PADDING, 0));
    EXPECT_EQ(HL_E_SELF_TEST, kit.sign(1, area.data(), HL_DIGEST_SIZE, area.data(), "SENHA123", 1));
    for (unsigned char b : area)
        ASSERT_EQ(0xCC, b) << "a refused call wrote into the caller's area";
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SelfTestFailure, TheRealLibraryPassesItsSelfTest)
{
    KitLibrary kit(QUORVEX_APP_DIR HL_KIT_LIBRARY_NAME);
    ASSERT_TRUE(kit.ok()) << kit.error;
    int32_t h = -1;
    ASSERT_EQ(0, kit.on(&h, HL_MODE_HASH_ONLY, nullptr));
    EXPECT_EQ(0, kit.off(h));
}
