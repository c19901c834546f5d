#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/error.h"
#include "common/json.h"
#include "common/numfmt.h"
#include "common/unicode.h"

using namespace tess;

TEST(NumFmt, FixedRoundsCorrectlyAndSpellsNonFinite) {
  EXPECT_EQ(numfmt::fixed(7874.0, 6), "7874.000000");
  EXPECT_EQ(numfmt::fixed(0.5, 4), "0.5000");
  EXPECT_EQ(numfmt::fixed(-1.25, 1), "-1.2");  // ties to even on the exact binary value
  EXPECT_EQ(numfmt::fixed(0.1, 20), "0.10000000000000000555");
  EXPECT_EQ(numfmt::fixed(1e300, 2).size(), 304u);
  EXPECT_EQ(numfmt::fixed(std::nan(""), 6), "NaN");
  EXPECT_EQ(numfmt::fixed(std::numeric_limits<double>::infinity(), 6), "inf");
  EXPECT_EQ(numfmt::fixed(-std::numeric_limits<double>::infinity(), 6), "-inf");
}

TEST(NumFmt, ShortestPositionalNeverWritesAnExponent) {
  EXPECT_EQ(numfmt::shortest_positional(0.0), "0");
  EXPECT_EQ(numfmt::shortest_positional(-0.0), "-0");
  EXPECT_EQ(numfmt::shortest_positional(0.001), "0.001");
  EXPECT_EQ(numfmt::shortest_positional(1e-7), "0.0000001");
  EXPECT_EQ(numfmt::shortest_positional(-2.0), "-2");
  EXPECT_EQ(numfmt::shortest_positional(1e20), "100000000000000000000");
  EXPECT_EQ(numfmt::shortest_positional(0.1 + 0.2), "0.30000000000000004");
}

TEST(NumFmt, JsonFloatSwitchesToExponentOutsideItsRange) {
  EXPECT_EQ(numfmt::json_float(0.0), "0.0");
  EXPECT_EQ(numfmt::json_float(-0.0), "-0.0");
  EXPECT_EQ(numfmt::json_float(10.0), "10.0");
  EXPECT_EQ(numfmt::json_float(0.001), "0.001");
  EXPECT_EQ(numfmt::json_float(1e-5), "0.00001");
  EXPECT_EQ(numfmt::json_float(1e-7), "1e-7");
  EXPECT_EQ(numfmt::json_float(1.5e20), "1.5e20");
  EXPECT_EQ(numfmt::json_float(1e16), "1e16");
  EXPECT_EQ(numfmt::json_float(1234567890123456.0), "1234567890123456.0");
  EXPECT_EQ(numfmt::json_float(-2.5e-300), "-2.5e-300");
  EXPECT_EQ(numfmt::json_float(std::nan("")), "null");
}

TEST(Json, AcceptsOneValueWithSurroundingWhiteSpaceOnly) {
  auto v = parse_json(" \t\r\n{\"b\": 1, \"a\": 2.5, \"b\": -3}\n");
  ASSERT_TRUE(v.ok());
  EXPECT_EQ(v->dump(), "{\"a\":2.5,\"b\":-3}");  // sorted keys, last repeated key wins
  EXPECT_TRUE((*v)["b"].is_number_integer() && !(*v)["b"].is_number_unsigned());
  EXPECT_TRUE(parse_json("[1, 2]").ok());
  EXPECT_TRUE(parse_json("18446744073709551615")->is_number_unsigned());
  EXPECT_TRUE(parse_json("18446744073709551616")->is_number_float());

  for (const char* bad : {"", "{} x", "{}{}", "\xEF\xBB\xBF{}", "// c\n{}", "{\"a\": 1,}", "[1e400]", "\"\xFF\"",
                          "\"\\ud800\"", "\x0c{}", "NaN"}) {
    EXPECT_FALSE(parse_json(bad).ok()) << bad;
  }
}

TEST(Json, ErrorsCarryLineAndColumn) {
  auto v = parse_json("{\"a\": 1}\n  x");
  ASSERT_FALSE(v.ok());
  EXPECT_NE(v.error().message().find(" at line 2 column 3"), std::string::npos) << v.error().message();
  auto bom = parse_json("\xEF\xBB\xBF{}");
  EXPECT_EQ(bom.error().message(), "unexpected byte-order mark at line 1 column 1");
}

TEST(Json, NestingIsLimitedTo128Levels) {
  auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(parse_json(nested(128)).ok());
  auto deep = parse_json(nested(129));
  ASSERT_FALSE(deep.ok());
  EXPECT_EQ(deep.error().message(), "recursion limit exceeded at line 1 column 129");
  EXPECT_FALSE(parse_json(nested(100000)).ok());
  EXPECT_FALSE(parse_json("[\"[[[\"," + nested(128) + "]").ok());
  EXPECT_TRUE(parse_json("[\"[[[[\"," + nested(127) + "]").ok());  // brackets in strings do not count
}

TEST(Json, CompactDumpKeepsFloatsDistinctFromIntegers) {
  Json v = {{"i", 1}, {"f", 1.0}, {"n", -2}, {"s", "é\n"}};
  EXPECT_EQ(dump_compact(v), "{\"f\":1.0,\"i\":1,\"n\":-2,\"s\":\"é\\n\"}");
}

TEST(Unicode, FullLowerCaseMapping) {
  EXPECT_EQ(unicode::to_lower("ALLOY"), "alloy");
  EXPECT_EQ(unicode::to_lower("ÉCLAIR"), "éclair");
  EXPECT_EQ(unicode::to_lower("ΟΔΟΣ"), "οδος");  // final sigma
  EXPECT_EQ(unicode::to_lower("İ"), "i\xCC\x87");   // one-to-many
  EXPECT_EQ(unicode::to_lower("Straße"), "straße");
}

TEST(Unicode, TrimsTheWhiteSpaceProperty) {
  EXPECT_EQ(unicode::trim_white_space("  Fe \t"), "Fe");
  EXPECT_EQ(unicode::trim_white_space("\xE3\x80\x80" "Fe\xC2\xA0"), "Fe");  // ideographic space, NBSP
  EXPECT_EQ(unicode::trim_white_space("\xE2\x80\x8B" "Fe"), "\xE2\x80\x8B" "Fe");  // zero-width space is not white
  EXPECT_EQ(unicode::trim_white_space(" \n "), "");
}

TEST(Unicode, ReplacesIllFormedBytes) {
  EXPECT_EQ(unicode::to_valid_utf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_TRUE(unicode::is_valid_utf8("é"));
  EXPECT_FALSE(unicode::is_valid_utf8("\xED\xA0\x80"));  // an encoded surrogate
}

TEST(Error, KeepsItsCauseChainAndRendersOsErrors) {
  Error inner("unknown name: Xx");
  Error outer = inner.wrap("formula constituent 'Xx' not found");
  EXPECT_EQ(outer.message(), "formula constituent 'Xx' not found");
  ASSERT_NE(outer.cause(), nullptr);
  EXPECT_EQ(outer.cause()->message(), "unknown name: Xx");
  EXPECT_EQ(os_error(2).message(), "No such file or directory (os error 2)");
}

// The direct parser must agree with the library parser on every document it
// accepts, value and number kinds included, and never accept what it rejects.
TEST(Json, DirectParserAgreesWithTheLibrary) {
  const char* docs[] = {
      "0", "-0", "1", "-1", "18446744073709551615", "18446744073709551616", "-9223372036854775808",
      "-9223372036854775809", "1.5", "-1.5e-3", "1E+2", "1e-400", "4.9e-324", "2.2250738585072014e-308",
      "0.1", "123456789012345678901234567890", "1e308", "1e309", "01", "1.", ".5", "-", "+1", "1e", "1e+",
      "\"\"", "\"a\\\"b\\\\c\\/d\\b\\f\\n\\r\\t\"", "\"\\u00e9\\u0000\"", "\"\\ud83d\\ude00\"", "\"\\ud83d\"",
      "\"\\ude00\"", "\"\\ud83dx\"", "\"\\u12\"", "\"\\x\"", "\"\x01\"", "\"\x7f\"", "\"é😀\"", "\"\xC0\xAF\"",
      "\"\xED\xA0\x80\"", "\"\xF4\x90\x80\x80\"", "\"\xE2\x82\"", "\"abc", "[]", "{}", "[1,]", "[,1]", "{\"a\":}",
      "{\"a\" 1}", "{a:1}", "{\"a\":1,\"a\":2}", "{\"b\":{\"c\":[true,false,null]},\"a\":[]}", "tru", "nul",
      "true false", " [ 1 , 2 ] ", "[1 2]", "{\"a\":1}}", "\t\r\n1\t\r\n", "\f1", "\xA0" "1",
  };
  for (const char* text : docs) {
    auto direct = detail::parse_json_direct(text);
    auto library = Json::parse(text, nullptr, /*allow_exceptions=*/false);
    if (direct) {
      ASSERT_FALSE(library.is_discarded()) << text;
      EXPECT_EQ(*direct, library) << text;
      EXPECT_EQ(direct->dump(), library.dump()) << text;  // the same number kinds
    }
    auto full = parse_json(text);
    EXPECT_EQ(full.ok(), !library.is_discarded()) << text;
    if (full.ok()) {
      EXPECT_EQ(full->dump(), library.dump()) << text;
    }
  }
}
