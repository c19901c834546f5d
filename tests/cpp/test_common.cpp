#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "common/common.h"

using namespace tess;

TEST(Json, AcceptsOneValueWithSurroundingWhiteSpaceOnly) {
  auto v = parse_json(" \t\r\n{\"b\": 1, \"a\": 2.5, \"b\": -3}\n");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v->dump(), "{\"a\":2.5,\"b\":-3}");  // sorted keys, last repeated key wins
  EXPECT_TRUE((*v)["b"].is_number_integer() && !(*v)["b"].is_number_unsigned());
  for (const char* bad : {"", "{} x", "{}{}", "// c\n{}", "{\"a\": 1,}", "[1e400]"}) {
    EXPECT_FALSE(parse_json(bad).ok()) << bad;
  }
  auto v2 = parse_json("{\"a\": 1}\n  x");
  EXPECT_NE(v2.error().message().find(" at line 2 column 3"), std::string::npos) << v2.error().message();
  EXPECT_EQ(parse_json("\xEF\xBB\xBF{}").error().message(), "unexpected byte-order mark at line 1 column 1");
  // Errors that carry no place of their own get the place where parsing stopped.
  EXPECT_EQ(parse_json("[1,\n 1e400]").error().message(), "number overflow parsing '1e400' at line 2 column 6");
}

TEST(Json, NestingIsLimitedTo128Levels) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(parse_json(nested(128)).ok());
  std::string objects;
  for (int i = 0; i < 129; ++i) objects += "{\"a\":";
  EXPECT_TRUE(parse_json(objects.substr(5) + "1" + std::string(128, '}')).ok());  // objects nest as deep
  EXPECT_FALSE(parse_json(objects + "1" + std::string(129, '}')).ok());
  auto deep = parse_json(nested(129));
  ASSERT_FALSE(deep.ok());
  EXPECT_EQ(deep.error().message(), "recursion limit exceeded at line 1 column 129");
  EXPECT_FALSE(parse_json(nested(100000)).ok());
  EXPECT_FALSE(parse_json("[\"[[[\"," + nested(128) + "]").ok());
  EXPECT_TRUE(parse_json("[\"[[[[\"," + nested(127) + "]").ok());  // brackets in strings do not count
}

TEST(Unicode, TrimsWhiteSpaceAndReplacesIllFormedBytes) {
  EXPECT_EQ(unicode::trim_white_space("  Fe \t"), "Fe");
  EXPECT_EQ(unicode::trim_white_space("\xE3\x80\x80"
                                      "Fe\xC2\xA0"),
            "Fe");  // ideographic space, NBSP
  EXPECT_EQ(unicode::trim_white_space("\xE2\x80\x8B"
                                      "Fe"),
            "\xE2\x80\x8B"
            "Fe");  // zero-width space is not white
  EXPECT_EQ(unicode::trim_white_space(" \n "), "");
  EXPECT_EQ(unicode::to_valid_utf8("a\xFF"
                                   "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_TRUE(unicode::is_valid_utf8("é"));
  EXPECT_FALSE(unicode::is_valid_utf8("\xED\xA0\x80"));  // an encoded surrogate
}

// Text longer than ICU can hold is lowered in pieces with the same result:
// pieces end after a space, which no final-sigma context crosses.
TEST(Unicode, LowersLongTextInPiecesLikeTheWhole) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += i % 3 ? "ΟΔΥΣΣΕΥΣ ΣΑΣ. İstanbul ΑΣ, Σ " : "ÉTÉ ΣΟΦΙΑ ";
  const std::string whole = unicode::to_lower(text);
  EXPECT_NE(whole.find("οδυσσευς σας"), std::string::npos);
  for (std::size_t piece = 24; piece < 80; piece += 7) {
    EXPECT_EQ(unicode::to_lower_in_pieces(text, piece), whole) << piece;
  }
  // Without a space, pieces end at character boundaries.
  EXPECT_EQ(unicode::to_lower_in_pieces("ÀÉÎÕÜ", 3), "àéîõü");
  // Trimming steps back over multi-byte white space and stops at ill-formed bytes.
  const std::string ideographic = "\xE3\x80\x80";
  EXPECT_EQ(unicode::trim_white_space(ideographic + ideographic + "Σ" + ideographic + "\xC2\xA0" + ideographic), "Σ");
  EXPECT_EQ(unicode::trim_white_space("Fe\x80 "), "Fe\x80");
}

// Where the library's defaults differ from the loader's rules: outcomes written by hand.
TEST(Json, RulesWhereTheLibraryDiffers) {
  using namespace std::string_literals;
  // A NUL byte ends the text for the library; here it is a character no JSON text holds unescaped.
  const std::string end = "syntax error while parsing value - unexpected NUL byte; expected end of input at line ";
  for (auto [text, message] :
       {std::pair{"{}\0garbage"s, end + "1 column 3"},
        {"{\"a\":\n 1}\n\0"s, end + "3 column 1"},
        {"1\0"s, end + "1 column 2"},
        {"[1,\0]"s,
         "syntax error while parsing value - unexpected NUL byte; expected '[', '{', or a literal at line 1 "
         "column 4"s}}) {
    EXPECT_EQ(parse_json(text).error().message(), message);
  }
  for (const std::string& bad : {"\0"s, "\"a\0b\""s, "[\"a\", \0]"s, "tru\0"s, "\0{}"s}) {
    EXPECT_FALSE(parse_json(bad).ok()) << bad.size();
  }
  EXPECT_EQ(parse_json("\"\\u0000\"")->get<std::string>(), "\0"s);

  // Accepted texts and their values; nullptr: refused.
  struct Case {
    const char* text;
    const char* string;  // the value, when it is a string
  };
  // clang-format off
  const Case strings[] = {
      {"\"\xC0\xAF\"", nullptr}, {"\"\xE0\x80\xAF\"", nullptr}, {"\"\xF0\x80\x80\xAF\"", nullptr},  // overlong
      {"\"\xED\xA0\x80\"", nullptr}, {"\"\xED\xBF\xBF\"", nullptr},                                // surrogates
      {"\"\xF4\x90\x80\x80\"", nullptr}, {"\"\xF5\x80\x80\x80\"", nullptr}, {"\"\xFF\"", nullptr},  // too high
      {"\"\xE2\x82\"", nullptr}, {"\"\x80\"", nullptr}, {"\"\xC3\"", nullptr},                     // cut short
      {"\"\\ud800\"", nullptr}, {"\"\\udc00\"", nullptr}, {"\"\\ud800\\u0041\"", nullptr}, {"\"\\ud800\\ud800\"", nullptr},
      {"\"\xF4\x8F\xBF\xBF\"", "\xF4\x8F\xBF\xBF"}, {"\"\xED\x9F\xBF\xEE\x80\x80\"", "\xED\x9F\xBF\xEE\x80\x80"},
      {"\"\xEF\xBF\xBF\"", "\xEF\xBF\xBF"}, {"\"\\uDBFF\\uDFFF\"", "\xF4\x8F\xBF\xBF"},
      {"\"\\ud83d\\ude00\"", "\xF0\x9F\x98\x80"}, {"\"\xEF\xBB\xBF\"", "\xEF\xBB\xBF"},  // a BOM inside is a character
  };
  // clang-format on
  for (const Case& c : strings) {
    const auto v = parse_json(c.text);
    if (c.string == nullptr) {
      EXPECT_FALSE(v.ok()) << c.text;
    } else {
      ASSERT_TRUE(v.ok()) << c.text;
      EXPECT_EQ(v->get<std::string>(), c.string) << c.text;
    }
  }
  for (const char* bad : {"\xEF\xBB\xBF{}", " \xEF\xBB\xBF{}", "\f1", "\v1", "\u00A01", "1\xE3\x80\x80", "NaN",
                          "Infinity", "-Infinity", "1E400", "-1e400", "01", "1.", "+1", ".5", "-", "0x10"}) {
    EXPECT_FALSE(parse_json(bad).ok()) << bad;
  }
  EXPECT_FALSE(parse_json("1" + std::string(400, '0')).ok());  // an integer too large even for a double

  // Numbers: the kind of each, and exact values.
  // clang-format off
  for (auto [text, kind, value] : {std::tuple{"-0", "i64", 0.0}, {"0", "u64", 0.0},
           {"18446744073709551615", "u64", 18446744073709551615.0}, {"18446744073709551616", "f64", 18446744073709551616.0},
           {"-9223372036854775808", "i64", -9223372036854775808.0}, {"-9223372036854775809", "f64", -9223372036854775808.0},
           {"1e-400", "f64", 0.0}, {"1.7976931348623157e308", "f64", 1.7976931348623157e308}, {"4.9e-324", "f64", 4.9e-324}}) {
    // clang-format on
    const auto v = parse_json(text);
    ASSERT_TRUE(v.ok()) << text;
    EXPECT_EQ(v->is_number_unsigned() ? "u64" : v->is_number_integer() ? "i64" : "f64", std::string(kind)) << text;
    EXPECT_EQ(*as_number(*v), value) << text;
  }
  EXPECT_TRUE(std::signbit(*as_number(*parse_json("-0.0"))));
  EXPECT_FALSE(std::signbit(*as_number(*parse_json("1e-400"))));
  EXPECT_EQ(parse_json(" \t\r\n1 \t\r\n")->get<int>(), 1);

  EXPECT_EQ(parse_json("{\"k\": 1, \"k\": [2], \"k\": \"last\"}")->dump(), "{\"k\":\"last\"}");
}

TEST(Json, PrettyTextKeepsTheBytesAndEscapesOnlyWhatJsonNeeds) {
  Json v = Json::object();
  v["s"] = std::string("q\"b\\/\b\f\n\r\t\x01\x1f\x7f\xC3\xA9\xFF\0", 17);  // ill-formed 0xFF kept
  v["o"] = {{"e", Json::object()}, {"t", true}, {"n", nullptr}};
  v["i"] = Json::array({std::numeric_limits<std::int64_t>::min(), -1, 7u});
  EXPECT_EQ(dump_pretty(v),
            "{\n  \"i\": [\n    -9223372036854775808,\n    -1,\n    7\n  ],\n"
            "  \"o\": {\n    \"e\": {},\n    \"n\": null,\n    \"t\": true\n  },\n"
            "  \"s\": \"q\\\"b\\\\/\\b\\f\\n\\r\\t\\u0001\\u001f\x7f\xC3\xA9\xFF\\u0000\"\n}");
}

TEST(Memory, SizesThatCannotBeHeldAreRefused) {
  EXPECT_TRUE(may_allocate(0) && may_allocate(std::uint64_t{1} << 20));
  EXPECT_FALSE(may_allocate(UINT64_MAX));
  EXPECT_FALSE(may_allocate(std::uint64_t{1} << 61, 8));  // the product wraps to 0
  std::vector<double> v;
  EXPECT_THROW(assign_checked(v, std::size_t{1} << 61, 0.0, Cancel::never()), std::bad_alloc);
  EXPECT_EQ(too_large_message("f: a grid", "use less"), "f: a grid is too large to allocate; use less");
}
