#include <gtest/gtest.h>

#include <string>

#include "formwell/document/grid_rules.h"

namespace formwell {
namespace {

struct LikeCase {
    const char* text;
    const char* pattern;
    bool matches;
};

class Like : public ::testing::TestWithParam<LikeCase> {};

TEST_P(Like, Matches) {
    const LikeCase& c = GetParam();
    EXPECT_EQ(likeMatch(c.text, c.pattern), c.matches) << '"' << c.text << "\" Like \"" << c.pattern << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Operators, Like,
    ::testing::Values(
        LikeCase{"Text", "t*", true}, LikeCase{"Text", "TEXT", true}, LikeCase{"Text", "tex", false},
        LikeCase{"Text", "tex?", true}, LikeCase{"Tex", "tex?", false}, LikeCase{"", "*", true},
        LikeCase{"", "", true}, LikeCase{"a", "", false}, LikeCase{"", "?", false},
        LikeCase{"a5", "a#", true}, LikeCase{"ab", "a#", false},
        // a run may have to give characters back
        LikeCase{"abcbcd", "*bcd", true}, LikeCase{"abcbce", "*bcd", false}, LikeCase{"axbyc", "a*b*c", true},
        LikeCase{"aaa", "a*a*a*a", false}, LikeCase{"Number", "n*b*", true},
        // sets and ranges, case-insensitive
        LikeCase{"b", "[abc]", true}, LikeCase{"B", "[abc]", true}, LikeCase{"d", "[abc]", false},
        LikeCase{"D", "[a-f]", true}, LikeCase{"g", "[a-f]", false}, LikeCase{"g", "[!a-f]", true},
        LikeCase{"A", "[!a-f]", false}, LikeCase{"-", "[a-]", true}, LikeCase{"-", "[-a]", true},
        LikeCase{"x", "[a-cx-z]", true}, LikeCase{"*", "[*]", true}, LikeCase{"a", "[*]", false},
        LikeCase{"?", "[?]", true}, LikeCase{"#", "[#]", true}, LikeCase{"!", "[!]", true},
        LikeCase{"ab", "a[]b", true}, LikeCase{"a", "[z-a]", false}, LikeCase{"\xE9", "[\xE0-\xEF]", true},
        // an unclosed set matches nothing rather than failing
        LikeCase{"[", "[", false}, LikeCase{"a[", "a[*", false}, LikeCase{"]", "]", true}));

}  // namespace
}  // namespace formwell
