#include <gtest/gtest.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include "export/names.h"

using namespace std::string_literals;
using namespace tess::exporter;

namespace {

std::string utf8(char32_t c) {
  char buf[4];
  std::int32_t n = 0;
  U8_APPEND_UNSAFE(buf, n, static_cast<UChar32>(c));
  return {buf, static_cast<std::size_t>(n)};
}

std::string percent_decoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%') {
      out += static_cast<char>(std::stoi(std::string(s.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

TEST(Names, LineTextBlanksControlsAndLineBreaksOnly) {
  EXPECT_EQ(line_text("Ti-6Al 4V_x.y"), "Ti-6Al 4V_x.y");
  EXPECT_EQ(line_text("a\nb\r\t\0c\x7f\xc2\x85\xc2\x9f\xe2\x80\xa8\xe2\x80\xa9"
                      "d"s),
            "a b   c     d");
  // Kept: é, U+00A0, U+00A1, U+2027, U+202A; ill-formed bytes become spaces.
  EXPECT_EQ(line_text("\xc3\xa9\xc2\xa0\xc2\xa1\xe2\x80\xa7\xe2\x80\xaa"),
            "\xc3\xa9\xc2\xa0\xc2\xa1\xe2\x80\xa7\xe2\x80\xaa");
  EXPECT_EQ(line_text("\xff|\xc3|\xc0\xaf|\xed\xa0\x80|\xf4\x90\x80\x80"), " | |  |   |    ");
  EXPECT_EQ(shader_comment_text("a\\"), "a\\ ");
  EXPECT_EQ(shader_comment_text("a\\\n"), "a\\ ");
  EXPECT_EQ(shader_comment_text("a\\b"), "a\\b");
}

TEST(Names, VtkArrayNamesEncodeLikeVtkAndFitItsToken) {
  EXPECT_EQ(vtk_array_name("\xcf\x81 x"), "%CF%81%20x");
  EXPECT_EQ(vtk_array_name("a\"%b\x7f"), "a%22%25b%7F");
  EXPECT_EQ(vtk_array_name("!Density_kg_m3~"), "!Density_kg_m3~");
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string name = vtk_array_name(one);
    EXPECT_EQ(percent_decoded(name), one) << b;
    for (char c : name) EXPECT_TRUE(c >= '!' && c <= '~' && c != '"') << b;
  }
  // At most 255 bytes, cut after a whole character.
  EXPECT_EQ(vtk_array_name(std::string(255, 'y')), std::string(255, 'y'));
  EXPECT_EQ(vtk_array_name(std::string(256, 'y')), std::string(255, 'y'));
  std::string e43;
  std::string e42;
  for (int i = 0; i < 43; ++i) e43 += "\xc3\xa9", e42 += i < 42 ? "%C3%A9" : "";
  EXPECT_EQ(vtk_array_name(e43), e42);
  EXPECT_EQ(vtk_array_name(std::string(253, 'y') + "\xc3\xa9"), std::string(253, 'y'));
}

TEST(Names, ObjNamesReplaceWhiteSpaceControlsHashAndBackslash) {
  EXPECT_EQ(obj_name("ferrite"), "ferrite");
  EXPECT_EQ(obj_name("\xce\xb1-Fe(2)/x.y"), "\xce\xb1-Fe(2)/x.y");
  EXPECT_EQ(obj_name("a b#c\\"), "a_b_c_");
  EXPECT_EQ(obj_name("\t\n\xc2\xa0\xe3\x80\x80\xe2\x80\x8b\xff"), "____\xe2\x80\x8b_");  // U+200B is no space
  EXPECT_EQ(obj_name(""), "_");
  // Every code point against ICU's White_Space property.
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    const bool replaced = u_isUWhiteSpace(static_cast<UChar32>(c)) || c < 0x20 || (c >= 0x7F && c <= 0x9F) ||
                          c == 0x2028 || c == 0x2029 || c == '#' || c == '\\';
    ASSERT_EQ(obj_name("a" + utf8(c)), replaced ? "a_" : "a" + utf8(c)) << static_cast<unsigned>(c);
  }
}

TEST(Names, ObjNamesKeepSafeNamesAndPhasesApart) {
  EXPECT_EQ(obj_names({"a b", "a_b"}), (std::vector<std::string>{"a_b_2", "a_b"}));
  EXPECT_EQ(obj_names({"a b", "a#b", "a_b_2"}), (std::vector<std::string>{"a_b", "a_b_3", "a_b_2"}));
  EXPECT_EQ(obj_names({"", "_"}), (std::vector<std::string>{"__2", "_"}));
}

TEST(Names, HlslFieldsAreUniqueUnreservedIdentifiers) {
  EXPECT_EQ(hlsl_field_names({"b", "b", "b_2"}), (std::vector<std::string>{"b", "b_2", "b_2_2"}));
  EXPECT_EQ(hlsl_field_names({"Density kg/m3", "a.b", "2x", "", "-", "PhaseId", "float", "float_2", "float3x4",
                              "float5", "uint64_t3", "Float", "SampleX"}),
            (std::vector<std::string>{"Density_kg_m3", "a_b", "_2x", "_", "__2", "PhaseId_2", "float_2", "float_2_2",
                                      "float3x4_2", "float5", "uint64_t3_2", "Float", "SampleX"}));
  EXPECT_EQ(hlsl_struct_name("316L"), "Sample_316L");
  EXPECT_EQ(hlsl_struct_name("rState"), "SamplerState_2");
  for (const char* word : {"in", "return", "SamplerState", "matrix", "float1", "bool4x4", "min16uint2"})
    EXPECT_TRUE(is_hlsl_reserved(word)) << word;
  for (const char* word : {"float0", "float4x5", "float4x", "Float", "In", "floats", "_"})
    EXPECT_FALSE(is_hlsl_reserved(word)) << word;
}
