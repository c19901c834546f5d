// Entry, phase and property names made safe for the text of each written
// file: no name can add, remove or break a line or a token. Every writer
// takes its names through these helpers.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tess::exporter {

// Name text inside a line of its own kind: a VTK title, an ASCII STL
// "solid"/"endsolid" line. Each control character (U+0000-U+001F,
// U+007F-U+009F) and each line or paragraph separator (U+2028, U+2029)
// becomes one space; so does each byte of an ill-formed UTF-8 sequence.
// Everything else is kept byte for byte.
std::string line_text(std::string_view name);

// line_text for a "//" shader comment, which also never ends in a backslash:
// a space follows a final one, so the comment cannot take in the next line.
std::string shader_comment_text(std::string_view name);

// The longest data array name a VTK legacy reader takes as one token.
inline constexpr std::size_t kVtkArrayNameMax = 255;

// A VTK legacy data array name: each byte outside '!'..'~', and each '"' and
// '%', written as '%' and two upper-case hex digits ("ρ x" -> "%CF%81%20x"),
// which VTK's reader decodes back. A name whose text would be longer than
// kVtkArrayNameMax keeps its longest run of whole leading characters that fits.
std::string vtk_array_name(std::string_view name);

// A Wavefront OBJ/MTL name for object and material lines: each whitespace
// character (Unicode White_Space), control character, '#' and '\\' becomes
// one underscore, as does each byte of an ill-formed UTF-8 sequence; an empty
// name becomes "_". Names without such characters are kept byte for byte.
std::string obj_name(std::string_view name);

// obj_name of each of `names`, kept apart: a name that obj_name keeps is
// kept; a changed one that meets any other result gets the smallest suffix
// "_2", "_3", ... that makes it unique. Distinct names give distinct results.
std::vector<std::string> obj_names(const std::vector<std::string>& names);

// `name` with every character that is not an ASCII letter or digit replaced by
// one underscore (one per character, however many bytes it takes), and an
// underscore in front when the result starts with a digit.
std::string glsl_safe_ident(std::string_view name);

// True for the keywords, reserved words and built-in type names of HLSL.
bool is_hlsl_reserved(std::string_view ident);

// The HLSL struct type of a material: "Sample" + glsl_safe_ident(name), with
// the suffix "_2" where that is reserved (the name "rState" would make
// SamplerState).
std::string hlsl_struct_name(std::string_view name);

// The HLSL struct field of each property: glsl_safe_ident of its name ("_"
// for an empty one); an identifier that is reserved, is "PhaseId" or equals
// an earlier field gets the smallest suffix "_2", "_3", ... that makes it
// unique (b, b, b_2 -> b, b_2, b_2_2).
std::vector<std::string> hlsl_field_names(const std::vector<std::string>& properties);

}  // namespace tess::exporter
