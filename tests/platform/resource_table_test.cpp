// The resources a backend is given at run time (the web page's own
// content) and the linked-in table behind them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/resource_table.h"

namespace {

class RuntimeResourceTest : public ::testing::Test {
protected:
    void SetUp() override { ClearRuntimeResources(); }
    void TearDown() override { ClearRuntimeResources(); }
};

ResourceBytes Found(const char* name, uint32_t type) {
    ResourceBytes out{reinterpret_cast<const uint8_t*>(1), 7};
    if (!FindResourceGivenOrEmbedded(name, type, &out)) {
        EXPECT_EQ(out.data, nullptr);
        EXPECT_EQ(out.size, 0u);
    }
    return out;
}

// Each given piece replaces the linked-in one of its name, with its own
// type only; a name not given falls back to the table.
TEST_F(RuntimeResourceTest, AGivenPieceReplacesTheLinkedInOneOfItsNameOnly) {
    const uint8_t song[] = {1, 2, 3};
    const uint8_t text[] = {4, 5};
    ResourceBytes builtInAni{};
    ASSERT_TRUE(FindEmbeddedResource("ANI", RT_BITMAP_TYPE, &builtInAni));
    ResourceBytes builtInText{};
    ASSERT_TRUE(FindEmbeddedResource("TEXT", RT_RCDATA_TYPE, &builtInText));

    ASSERT_TRUE(SetRuntimeResource("MUSIC", RT_RCDATA_TYPE, song, sizeof song));
    ASSERT_TRUE(SetRuntimeResource("TEXT", RT_RCDATA_TYPE, text, sizeof text));
    struct Case {
        const char* name;
        uint32_t type;
        const uint8_t* data; // null: not found
        uint32_t size;
    };
    const Case cases[] = {
        {"MUSIC", RT_RCDATA_TYPE, song, 3},
        {"TEXT", RT_RCDATA_TYPE, text, 2},
        {"MUSIC", RT_BITMAP_TYPE, nullptr, 0}, // replaced by name: the table is not asked
        {"ANI", RT_BITMAP_TYPE, builtInAni.data, builtInAni.size},
        {"ANI", RT_RCDATA_TYPE, nullptr, 0},
        {"music", RT_RCDATA_TYPE, nullptr, 0}, // names compare exactly
        {"NONE", RT_RCDATA_TYPE, nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " type " + std::to_string(c.type));
        const ResourceBytes out = Found(c.name, c.type);
        EXPECT_EQ(out.data, c.data);
        EXPECT_EQ(out.size, c.size);
    }

    // Given again, the newer bytes count; cleared, the table's are back.
    const uint8_t other[] = {9};
    ASSERT_TRUE(SetRuntimeResource("TEXT", RT_RCDATA_TYPE, other, 1));
    EXPECT_EQ(Found("TEXT", RT_RCDATA_TYPE).data, other);
    ClearRuntimeResources();
    EXPECT_EQ(Found("TEXT", RT_RCDATA_TYPE).data, builtInText.data);
    EXPECT_EQ(Found("MUSIC", RT_RCDATA_TYPE).size, [] {
        ResourceBytes music{};
        FindEmbeddedResource("MUSIC", RT_RCDATA_TYPE, &music);
        return music.size;
    }());
}

TEST_F(RuntimeResourceTest, NothingOrNamelessIsRefusedAndChangesNothing) {
    const uint8_t byte[] = {1};
    ResourceBytes builtIn{};
    ASSERT_TRUE(FindEmbeddedResource("FONT", RT_BITMAP_TYPE, &builtIn));
    struct Case {
        const char* what;
        const char* name;
        const uint8_t* data;
        uint32_t size;
    };
    const Case cases[] = {
        {"no name", nullptr, byte, 1},
        {"an empty name", "", byte, 1},
        {"no bytes", "FONT", nullptr, 1},
        {"zero bytes", "FONT", byte, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(SetRuntimeResource(c.name, RT_BITMAP_TYPE, c.data, c.size));
        EXPECT_EQ(Found("FONT", RT_BITMAP_TYPE).data, builtIn.data);
        EXPECT_EQ(Found("", RT_BITMAP_TYPE).data, nullptr);
    }
    ResourceBytes out{};
    EXPECT_FALSE(FindResourceGivenOrEmbedded(nullptr, RT_BITMAP_TYPE, &out));
    EXPECT_FALSE(FindResourceGivenOrEmbedded("FONT", RT_BITMAP_TYPE, nullptr));
}

// The table has room for a fixed number of names: one more is refused, the
// ones given stay, and a name already given can still be replaced.
TEST_F(RuntimeResourceTest, AFullTableRefusesANewNameButReplacesAGivenOne) {
    std::vector<std::string> names;
    const uint8_t byte[] = {7};
    for (int i = 0; i < RUNTIME_RESOURCE_SLOTS; ++i) {
        names.push_back("PIECE" + std::to_string(i));
        ASSERT_TRUE(SetRuntimeResource(names.back().c_str(), RT_RCDATA_TYPE, byte, 1));
    }
    EXPECT_FALSE(SetRuntimeResource("ONE_MORE", RT_RCDATA_TYPE, byte, 1));
    EXPECT_EQ(Found("ONE_MORE", RT_RCDATA_TYPE).data, nullptr);
    const uint8_t newer[] = {8, 8};
    EXPECT_TRUE(SetRuntimeResource("PIECE3", RT_RCDATA_TYPE, newer, 2));
    for (const std::string& name : names)
        EXPECT_EQ(Found(name.c_str(), RT_RCDATA_TYPE).data, name == "PIECE3" ? newer : byte) << name;
}

} // namespace
