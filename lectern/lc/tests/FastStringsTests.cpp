#include "lectern/lc/lcFastStrings.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

TEST(UpperCaseStr, ChangesOnlyLowerCaseAsciiLetters)
{
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"", ""},
        {"Content-Type", "CONTENT-TYPE"},
        {"az`{@[AZ09", "AZ`{@[AZ09"},
        {"\xe9t\xe0\xff", "\xe9T\xe0\xff"},
        {std::string("a\0b", 3), std::string("A\0B", 3)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpperCaseStr(c.in), c.out) << c.in;
    }
}

// ---- TLcHugeString ------------------------------------------------------------------------

std::string Piece(size_t length, char first)
{
    std::string s(length, ' ');
    for (size_t i = 0; i < length; ++i) {
        s[i] = static_cast<char>(first + i % 23);
    }
    return s;
}

// Appends the pieces and expects exactly their concatenation back.
void ExpectJoins(TLcHugeString& builder, const std::vector<std::string>& pieces)
{
    std::string expected;
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i % 2) {
            builder.Append(std::string(pieces[i]));
        } else {
            builder.Append(pieces[i]);
        }
        expected += pieces[i];
    }
    EXPECT_EQ(builder.TotalSize(), static_cast<std::int64_t>(expected.size()));
    EXPECT_EQ(builder.GetText(), expected);
}

TEST(HugeString, JoinsPiecesAcrossBufferAndBlockBoundaries)
{
    struct Case {
        const char* name;
        std::vector<std::string> pieces;
    };
    std::vector<std::string> ones;
    for (int i = 0; i < 300; ++i) {
        ones.push_back(std::string(1, static_cast<char>('a' + i % 26)));
    }
    std::vector<std::string> forty;
    for (int i = 0; i < 40; ++i) {
        // Long pieces each take an entry; the short ones after them start fresh buffers.
        forty.push_back(i % 2 ? Piece(3, static_cast<char>('A' + i % 20)) : Piece(255 + i, static_cast<char>('a' + i % 20)));
    }
    const Case cases[] = {
        {"nothing", {}},
        {"only empty pieces", {"", ""}},
        {"one piece of 1000 bytes", {Piece(1000, 'a')}},
        {"one short piece", {"abc"}},
        {"300 single bytes", ones},
        {"254 + 36 fill one buffer, 1 more starts another", {Piece(254, 'a'), Piece(36, 'A'), "x", "yz"}},
        {"254 + 37 overflow the buffer", {Piece(254, 'a'), Piece(37, 'A'), "x"}},
        {"255 bytes are kept whole", {Piece(255, 'a'), "x", Piece(255, 'A'), "y"}},
        {"17 entries pack the first 16", std::vector<std::string>(17, Piece(300, 'k'))},
        {"40 entries of long and short pieces", forty},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TLcHugeString builder;
        ExpectJoins(builder, c.pieces);
    }
}

TEST(HugeString, ClearStartsAfresh)
{
    TLcHugeString builder;
    for (int i = 0; i < 50; ++i) {
        builder.Append(Piece(static_cast<size_t>(i * 13 % 400), 'a'));
    }
    builder.Clear();
    EXPECT_EQ(builder.TotalSize(), 0);
    EXPECT_EQ(builder.GetText(), "");
    ExpectJoins(builder, {"one", Piece(260, 'b'), "two"});
    builder.Clear();
    ExpectJoins(builder, {"solo"});
}

TEST(HugeString, RandomPieceSequencesJoinExactly)
{
    std::mt19937 rng(90210);
    TLcHugeString builder;
    std::string expected;
    for (int step = 0; step < 3000; ++step) {
        size_t length = rng() % 10 == 0 ? rng() % 700 : rng() % 40;
        std::string piece = Piece(length, static_cast<char>('!' + rng() % 60));
        expected += piece;
        if (rng() % 2) {
            builder.Append(std::move(piece));
        } else {
            builder.Append(piece);
        }
        if (step % 250 == 0) {
            ASSERT_EQ(builder.GetText(), expected);
        }
    }
    ASSERT_EQ(builder.GetText(), expected);
    EXPECT_EQ(builder.TotalSize(), static_cast<std::int64_t>(expected.size()));
}

// ---- the fast name lists ------------------------------------------------------------------

struct Tracked : TObject {
    explicit Tracked(int& alive) : FAlive(alive) { ++FAlive; }
    ~Tracked() override { --FAlive; }
    int& FAlive;
};

template <class TList>
class FastList : public ::testing::Test {};
using FastListTypes = ::testing::Types<tLcFastStrObjList, tLcFastStringObjList>;
TYPED_TEST_SUITE(FastList, FastListTypes);

TYPED_TEST(FastList, FindsNamesInAnyCaseAcrossBlocks)
{
    TypeParam list;
    TObject objects[40];
    EXPECT_EQ(list.IndexOf("Host"), -1);
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(list.Add("Field-" + std::to_string(i) + "x", &objects[i]), i);
    }
    EXPECT_EQ(list.Count(), 40);
    for (int i : {0, 15, 16, 17, 39}) {
        EXPECT_EQ(list.GetName(i), "Field-" + std::to_string(i) + "x");
        EXPECT_EQ(list.GetObject(i), &objects[i]);
        EXPECT_EQ(list.IndexOf("FIELD-" + std::to_string(i) + "X"), i);
        EXPECT_EQ(list.IndexOf("field-" + std::to_string(i) + "x"), i);
    }
    list.SetObject(16, &objects[0]);
    EXPECT_EQ(list.GetObject(16), &objects[0]);
    EXPECT_EQ(list.IndexOf("field-40x"), -1);
}

TYPED_TEST(FastList, ClearForgetsObjectsAndFreeObjectsFreesThem)
{
    int alive = 0;
    Tracked kept(alive);
    TypeParam list;
    for (int i = 0; i < 20; ++i) {
        list.Add(std::to_string(i) + "n", &kept);
    }
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.IndexOf("3n"), -1);
    EXPECT_EQ(alive, 1);

    for (int i = 0; i < 20; ++i) {
        list.Add(std::to_string(i) + "m", new Tracked(alive));
    }
    EXPECT_EQ(alive, 21);
    list.FreeObjects();
    EXPECT_EQ(alive, 1);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.IndexOf("0m"), -1);
    EXPECT_EQ(list.Add("again", &kept), 0);
    EXPECT_EQ(list.IndexOf("AGAIN"), 0);
}

TEST(FastStrObjList, UpperShortcutsTakeNamesAsGiven)
{
    tLcFastStrObjList list;
    list.Add("Host", nullptr);
    EXPECT_EQ(list.IndexOf("HOST"), 0);
    EXPECT_EQ(list.IndexOf("host"), 0);
    EXPECT_EQ(list.IndexOfUpper("Host"), -1);
    EXPECT_EQ(list.IndexOfUpper("HOST"), 0);
    EXPECT_EQ(list.AddUpper("CONTENT-LENGTH", nullptr), 1);
    EXPECT_EQ(list.IndexOf("content-length"), 1);
    EXPECT_EQ(list.GetName(1), "CONTENT-LENGTH");
}

TEST(FastStrObjList, SetNameReindexesTheEntry)
{
    tLcFastStrObjList list;
    list.Add("Host", nullptr);
    list.Add("Accept", nullptr);
    list.SetName(0, "X-Test");
    EXPECT_EQ(list.GetName(0), "X-Test");
    EXPECT_EQ(list.IndexOf("x-test"), 0);
    EXPECT_EQ(list.IndexOf("host"), -1);
    EXPECT_EQ(list.IndexOf("accept"), 1);
}

// Renaming onto a name in use leaves two index nodes under one name. Each entry's own node
// must be the one that a later rename takes out; taking whichever the search meets first
// leaves the index pointing at an entry of another name, and a valid rename then raises.
TEST(FastStrObjList, RenamingOntoANameInUseKeepsTheIndexTrue)
{
    tLcFastStrObjList list;
    list.Add("A", nullptr);
    list.Add("B", nullptr);
    list.Add("C", nullptr);
    list.SetName(2, "a");  // the new node for "A" becomes the root, above entry 0's
    int either = list.IndexOf("A");
    EXPECT_TRUE(either == 0 || either == 2);
    list.SetName(0, "Q");
    EXPECT_EQ(list.IndexOf("A"), 2);
    EXPECT_EQ(list.IndexOf("Q"), 0);
    ASSERT_NO_THROW(list.SetName(2, "Z"));
    EXPECT_EQ(list.IndexOf("A"), -1);
    EXPECT_EQ(list.IndexOf("Z"), 2);
    EXPECT_EQ(list.IndexOf("B"), 1);
}

TEST(FastStrObjList, RandomRenamesKeepEveryLookupTrue)
{
    const std::string names[] = {"Host", "ACCEPT", "accept", "Cookie", "X-A", "x-b"};
    std::mt19937 rng(31337);
    tLcFastStrObjList list;
    for (int step = 0; step < 2000; ++step) {
        const std::string& name = names[rng() % std::size(names)];
        if (list.Count() == 0 || rng() % 3 == 0) {
            list.Add(name, nullptr);
        } else {
            ASSERT_NO_THROW(list.SetName(static_cast<int>(rng() % static_cast<unsigned>(list.Count())), name));
        }
        for (const std::string& probe : names) {
            int index = list.IndexOf(probe);
            bool held = false;
            for (int i = 0; i < list.Count(); ++i) {
                held = held || UpperCaseStr(list.GetName(i)) == UpperCaseStr(probe);
            }
            if (held) {
                ASSERT_NE(index, -1) << probe;
                ASSERT_EQ(UpperCaseStr(list.GetName(index)), UpperCaseStr(probe));
            } else {
                ASSERT_EQ(index, -1) << probe;
            }
        }
    }
}

TEST(FastStrObjList, SetNameOfAnUnindexedNameRaisesAndChangesNothing)
{
    tLcFastStrObjList list;
    list.AddUpper("lower", nullptr);  // breaks AddUpper's contract: indexed as "lower"
    try {
        list.SetName(0, "Other");
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Key not found !");
    }
    EXPECT_EQ(list.GetName(0), "lower");
    EXPECT_EQ(list.IndexOfUpper("lower"), 0);
    EXPECT_EQ(list.IndexOf("other"), -1);
}

} // namespace
