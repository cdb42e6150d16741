#include "engine/values/atoms.h"

#include "engine_fixture.h"

namespace quill::testing {
namespace {

using AtomTest = EngineTest;

TEST_F(AtomTest, SpecialAtomsComeFirst) {
    EXPECT_EQ(intern(engine, "__proto__"), atom_proto);
    EXPECT_EQ(intern(engine, "prototype"), atom_prototype);
    EXPECT_EQ(intern(engine, "toSource"), atom_to_source);
    EXPECT_EQ(intern(engine, "toString"), atom_to_string);
    EXPECT_EQ(intern(engine, "valueOf"), atom_value_of);
}

TEST_F(AtomTest, InterningIsExactAndStable) {
    uint32_t before = engine->globals.count;
    Atom a = intern(engine, "Name");
    EXPECT_EQ(intern(engine, "Name"), a);
    EXPECT_NE(intern(engine, "name"), a);
    EXPECT_EQ(engine->globals.count, before + 2);
    EXPECT_EQ(engine->globals.items[a].tag, Tag::Undefined);
    EXPECT_STREQ(atom_name(engine, a), "Name");
    EXPECT_EQ(find_atom(engine, "never"), -1);
    EXPECT_STREQ(atom_name(engine, -1), "???");
    EXPECT_STREQ(atom_name(engine, 1 << 30), "???");
    EXPECT_EQ(intern(engine, ""), intern(engine, std::string_view()));
}

TEST_F(AtomTest, GlobalSlotsGrowPastTheirCapacity) {
    std::vector<Atom> atoms;
    for (int i = 0; i < 3000; ++i) {
        atoms.push_back(intern(engine, "g" + std::to_string(i)));
    }
    for (int i = 0; i < 3000; ++i) {
        EXPECT_EQ(atom_name(engine, atoms[i]), "g" + std::to_string(i));
    }
    EXPECT_GE(engine->globals.capacity, engine->globals.count);
}

TEST(EngineHash, FollowsItsFormula) {
    EXPECT_EQ(engine_hash("", 0), 0u);
    EXPECT_EQ(engine_hash("a", 1), 97u);
    // h = (97 >> 7) ^ (97 >> 16) ^ 'b' ^ (97 << 5)
    EXPECT_EQ(engine_hash("ab", 2), 98u ^ (97u << 5));
    EXPECT_EQ(engine_hash("\xff", 1), 255u);  // bytes count as unsigned
}

}  // namespace
}  // namespace quill::testing
