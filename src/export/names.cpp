#include "export/names.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_set>

#include "common/numfmt.h"

namespace tess::exporter {
namespace {

// One character of UTF-8 text: its scalar value and byte count, or one byte
// with `valid` false where no well-formed sequence starts.
struct Utf8Char {
  char32_t cp = 0;
  std::size_t size = 1;
  bool valid = false;
};

Utf8Char decode_at(std::string_view s, std::size_t i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) return {b0, 1, true};
  std::size_t n = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if ((b0 & 0xE0u) == 0xC0u) {
    n = 2, cp = b0 & 0x1Fu, least = 0x80;
  } else if ((b0 & 0xF0u) == 0xE0u) {
    n = 3, cp = b0 & 0x0Fu, least = 0x800;
  } else if ((b0 & 0xF8u) == 0xF0u) {
    n = 4, cp = b0 & 0x07u, least = 0x10000;
  } else {
    return {};
  }
  if (s.size() - i < n) return {};
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0u) != 0x80u) return {};
    cp = (cp << 6) | (b & 0x3Fu);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
  return {cp, n, true};
}

// C0 and C1 controls, DEL, and the two Unicode line breaks.
bool is_line_breaking(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029; }

// The Unicode White_Space property.
bool is_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// `name` with each character for which `drop` holds (and each stray byte)
// replaced by `with`.
template <class Drop>
std::string replace_chars(std::string_view name, Drop drop, char with) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const Utf8Char c = decode_at(name, i);
    if (!c.valid || drop(c.cp)) {
      out += with;
    } else {
      out.append(name.substr(i, c.size));
    }
    i += c.size;
  }
  return out;
}

// `base`, or `base` with the smallest suffix "_2", "_3", ... for which
// `is_free` holds.
template <class IsFree>
std::string first_free(const std::string& base, IsFree is_free) {
  if (is_free(base)) return base;
  for (unsigned long long n = 2;; ++n) {
    std::string candidate = base + '_';
    numfmt::append_unsigned(candidate, n);
    if (is_free(candidate)) return candidate;
  }
}

// Keywords, reserved words and type names of HLSL, in byte order; the
// numbered vector and matrix types are matched by rule.
// clang-format off
constexpr std::array<std::string_view, 172> kHlslReserved = {
    "AppendStructuredBuffer", "BlendState", "Buffer", "ByteAddressBuffer", "CompileShader", "ComputeShader",
    "ConstantBuffer", "ConsumeStructuredBuffer", "DepthStencilState", "DepthStencilView", "DomainShader",
    "GeometryShader", "HullShader", "Hullshader", "InputPatch", "LineStream", "NULL", "OutputPatch", "PixelShader",
    "PointStream", "RWBuffer", "RWByteAddressBuffer", "RWStructuredBuffer", "RWTexture1D", "RWTexture1DArray",
    "RWTexture2D", "RWTexture2DArray", "RWTexture3D", "RasterizerState", "RenderTargetView", "SamplerComparisonState",
    "SamplerState", "StructuredBuffer", "SubpassInput", "SubpassInputMS", "Texture1D", "Texture1DArray", "Texture2D",
    "Texture2DArray", "Texture2DMS", "Texture2DMSArray", "Texture3D", "TextureBuffer", "TextureCube",
    "TextureCubeArray", "TriangleStream", "VertexShader", "asm", "asm_fragment", "auto", "bool", "break", "case",
    "catch", "cbuffer", "centroid", "char", "class", "column_major", "compile", "compile_fragment", "const",
    "const_cast", "continue", "default", "delete", "discard", "do", "double", "dword", "dynamic_cast", "else", "enum",
    "explicit", "export", "extern", "false", "float", "float16_t", "float32_t", "float64_t", "for", "friend",
    "fxgroup", "globallycoherent", "goto", "groupshared", "half", "if", "in", "inline", "inout", "int", "int16_t",
    "int64_t", "interface", "line", "lineadj", "linear", "long", "matrix", "min10float", "min12int", "min16float",
    "min16int", "min16uint", "mutable", "namespace", "new", "nointerpolation", "noperspective", "operator", "out",
    "packoffset", "pass", "pixelfragment", "point", "precise", "private", "protected", "public", "register",
    "reinterpret_cast", "return", "row_major", "sample", "sampler", "sampler1D", "sampler2D", "sampler3D",
    "samplerCUBE", "sampler_state", "shared", "short", "signed", "sizeof", "snorm", "stateblock", "stateblock_state",
    "static", "static_cast", "string", "struct", "switch", "tbuffer", "technique", "technique10", "technique11",
    "template", "texture", "this", "throw", "triangle", "triangleadj", "true", "try", "typedef", "typename", "uint",
    "uint16_t", "uint64_t", "uniform", "union", "unorm", "unsigned", "using", "vector", "vertexfragment", "virtual",
    "void", "volatile", "while",
};
// clang-format on
static_assert(std::ranges::is_sorted(kHlslReserved));

// Scalar types that also come as vectors (<type>N) and matrices (<type>NxM), N and M in 1..4.
constexpr std::array<std::string_view, 19> kHlslNumberedBases = {
    "bool",     "double",    "dword",   "float",    "float16_t",  "float32_t", "float64_t",
    "half",     "int",       "int16_t", "int64_t",  "min10float", "min12int",  "min16float",
    "min16int", "min16uint", "uint",    "uint16_t", "uint64_t",
};

bool is_dimension(char c) { return c >= '1' && c <= '4'; }

}  // namespace

std::string line_text(std::string_view name) { return replace_chars(name, is_line_breaking, ' '); }

std::string shader_comment_text(std::string_view name) {
  std::string out = line_text(name);
  if (!out.empty() && out.back() == '\\') out += ' ';
  return out;
}

std::string vtk_array_name(std::string_view name) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t size = decode_at(name, i).size;
    std::string piece;
    for (unsigned char b : name.substr(i, size)) {
      if (b < '!' || b > '~' || b == '"' || b == '%') {
        piece += '%';
        piece += kHex[b >> 4];
        piece += kHex[b & 0xF];
      } else {
        piece += static_cast<char>(b);
      }
    }
    if (out.size() + piece.size() > kVtkArrayNameMax) break;
    out += piece;
    i += size;
  }
  return out;
}

std::string obj_name(std::string_view name) {
  if (name.empty()) return "_";
  return replace_chars(
      name, [](char32_t c) { return is_line_breaking(c) || is_white_space(c) || c == '#' || c == '\\'; }, '_');
}

std::vector<std::string> obj_names(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  out.reserve(names.size());
  std::unordered_set<std::string> taken;
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < names.size(); ++i) {
    out.push_back(obj_name(names[i]));
    if (out.back() == names[i]) {
      taken.insert(out.back());
    } else {
      changed.push_back(i);
    }
  }
  for (std::size_t i : changed) {
    out[i] = first_free(out[i], [&](const std::string& c) { return !taken.contains(c); });
    taken.insert(out[i]);
  }
  return out;
}

std::string glsl_safe_ident(std::string_view name) {
  std::string ident;
  ident.reserve(name.size() + 1);
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) {
      ident += c;
    } else if ((b & 0xC0) != 0x80) {  // one underscore per character: skip continuation bytes
      ident += '_';
    }
  }
  if (!ident.empty() && ident.front() >= '0' && ident.front() <= '9') ident.insert(ident.begin(), '_');
  return ident;
}

bool is_hlsl_reserved(std::string_view ident) {
  if (std::ranges::binary_search(kHlslReserved, ident)) return true;
  for (std::string_view base : kHlslNumberedBases) {
    if (!ident.starts_with(base)) continue;
    const std::string_view dims = ident.substr(base.size());
    if (dims.size() == 1 && is_dimension(dims[0])) return true;
    if (dims.size() == 3 && is_dimension(dims[0]) && dims[1] == 'x' && is_dimension(dims[2])) return true;
  }
  return false;
}

std::string hlsl_struct_name(std::string_view name) {
  std::string type = "Sample" + glsl_safe_ident(name);
  if (is_hlsl_reserved(type)) type += "_2";
  return type;
}

std::vector<std::string> hlsl_field_names(const std::vector<std::string>& properties) {
  std::vector<std::string> out;
  out.reserve(properties.size());
  std::unordered_set<std::string> taken{"PhaseId"};
  for (const auto& p : properties) {
    const std::string ident = p.empty() ? std::string("_") : glsl_safe_ident(p);
    std::string field =
        first_free(ident, [&](const std::string& c) { return !taken.contains(c) && !is_hlsl_reserved(c); });
    taken.insert(field);
    out.push_back(std::move(field));
  }
  return out;
}

}  // namespace tess::exporter
