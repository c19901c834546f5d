#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "export/obj_writer.h"
#include "export/stl_writer.h"
#include "grid_helpers.h"

using namespace tess::exporter;

namespace {

template <class T = std::uint32_t>
T at(const std::string& s, std::size_t offset) {
  T v;
  std::memcpy(&v, s.data() + offset, sizeof v);
  return v;
}

std::string binary_stl(std::string_view name, const tess::sample::VoxelGrid& grid) {
  std::string bytes;
  auto made = stl_binary(name, grid, {0, 0, 0}, 1.0, [&](std::string_view piece) -> tess::Status {
    bytes += piece;
    return tess::ok_status();
  });
  EXPECT_TRUE(made);
  return bytes;
}

std::string ascii_stl(std::string_view name, const tess::sample::VoxelGrid& grid, const Point& origin) {
  std::string text;
  EXPECT_TRUE(stl_ascii(name, grid, origin, 1.0, [&](std::string_view piece) -> tess::Status {
    text += piece;
    return tess::ok_status();
  }));
  return text;
}

}  // namespace

TEST(StlBinary, LayoutHeaderAndFacets) {
  const std::string bytes(binary_stl("abc", grid_of(1, 1, 1, {0})));
  ASSERT_EQ(bytes.size(), 684u);
  EXPECT_EQ(bytes.substr(0, 13), "tessarine abc");
  EXPECT_EQ(bytes.substr(13, 67), std::string(67, '\0'));
  EXPECT_EQ(at(bytes, 80), 12u);
  // First facet of the low x-face: normal -x, wound about -x.
  const float want[12] = {-1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 1};
  for (int v = 0; v < 12; ++v) EXPECT_EQ(at<float>(bytes, 84 + 4 * v), want[v]) << v;
  EXPECT_EQ(bytes.substr(84 + 48, 2), std::string(2, '\0'));
  // Second facet: (c0, c2, c3).
  const float second[9] = {0, 0, 0, 0, 1, 1, 0, 1, 0};
  for (int v = 0; v < 9; ++v) EXPECT_EQ(at<float>(bytes, 134 + 12 + 4 * v), second[v]) << v;

  // Long names fill the header, cut at 80 bytes even inside a character.
  std::string name(69, 'n');
  name += "\xc3\xa9";  // é straddles byte 80
  const std::string long_header(binary_stl(name, grid_of(1, 1, 1, {0})));
  EXPECT_EQ(long_header.substr(0, 80), ("tessarine " + name).substr(0, 80));
  EXPECT_EQ(at(long_header, 80), 12u);

  const std::string empty(binary_stl("e", grid_of(0, 1, 1, {})));
  EXPECT_EQ(empty.size(), 84u);
  EXPECT_EQ(at(empty, 80), 0u);
}

TEST(StlBinary, FacetCountMustFitItsField) {
  EXPECT_EQ(*stl_facet_count(0), 0u);
  EXPECT_EQ(*stl_facet_count(2147483647u), 4294967294u);
  auto over = stl_facet_count(2147483648u);
  ASSERT_FALSE(over);
  EXPECT_NE(over.error().message().find("export_stl: the surface has 2147483648 faces"), std::string::npos);
}

TEST(StlAscii, Text) {
  EXPECT_EQ(ascii_stl("e", grid_of(0, 1, 1, {}), {0, 0, 0}), "solid e\nendsolid e\n");
  const std::string text = ascii_stl("s", grid_of(1, 1, 1, {0}), {-1, 0, 0});
  const std::string first =
      "solid s\n"
      "  facet normal -1.000000 0.000000 0.000000\n"
      "    outer loop\n"
      "\t  vertex -1.000000 0.000000 0.000000\n"
      "\t  vertex -1.000000 0.000000 1.000000\n"
      "\t  vertex -1.000000 1.000000 1.000000\n"
      "    endloop\n"
      "  endfacet\n";
  EXPECT_EQ(text.substr(0, first.size()), first);
  EXPECT_EQ(text.substr(text.size() - 11), "endsolid s\n");
  std::size_t facets = 0;
  for (std::size_t at = text.find("facet normal"); at != std::string::npos; at = text.find("facet normal", at + 1))
    ++facets;
  EXPECT_EQ(facets, 12u);
}

TEST(ObjMtl, PathsAndColours) {
  for (auto [obj, mtl] : {std::pair{"scene", "scene.mtl"},
                          {"a.b.obj", "a.b.mtl"},
                          {".hidden", ".hidden.mtl"},
                          {"dir.d/scene", "dir.d/scene.mtl"},
                          {"out/part.obj", "out/part.mtl"}}) {
    EXPECT_EQ(mtl_path_for(obj), mtl);
  }
  for (const char* unchanged : {"", "a/..", "..", "out/"}) EXPECT_EQ(mtl_path_for(unchanged), unchanged);
  EXPECT_EQ(mtl_reference_name("out/part.mtl"), "part.mtl");
  EXPECT_EQ(mtl_reference_name("a/.."), "material.mtl");
  EXPECT_EQ(mtl_reference_name(""), "material.mtl");

  EXPECT_EQ(mtl_text({"A"}), "newmtl A\nKd 0.3882 0.2980 0.0078\nKa 0.0776 0.0596 0.0016\nKs 0.5 0.5 0.5\nNs 32\n\n");
  EXPECT_NE(phase_colour("ferrite"), phase_colour("austenite"));
}

TEST(ObjMtl, SingleVoxelText) {
  const auto text = obj_text("m", "m.mtl", grid_of(1, 1, 1, {0}, {"p"}), {0, 0, 0}, 1.0);
  EXPECT_EQ(text,
            "mtllib m.mtl\n"
            "v 0.000000 0.000000 0.000000\nv 0.000000 0.000000 1.000000\nv 0.000000 1.000000 1.000000\n"
            "v 0.000000 1.000000 0.000000\nv 1.000000 0.000000 0.000000\nv 1.000000 1.000000 0.000000\n"
            "v 1.000000 1.000000 1.000000\nv 1.000000 0.000000 1.000000\n"
            "o m_p\nusemtl p\n"
            "f 1 2 3 4\nf 5 6 7 8\nf 1 5 8 2\nf 4 3 7 6\nf 1 4 6 5\nf 2 8 7 3\n");
}

TEST(ObjMtl, VertexMergingIsByExactCoordinates) {
  std::mt19937 rng(3);
  std::vector<std::int32_t> ids(std::size_t{6} * 5 * 4);
  for (auto& id : ids) id = static_cast<std::int32_t>(rng() % 3);
  const auto g = grid_of(6, 5, 4, ids, {"a", "b", "c", "unused"});
  for (Point origin : {Point{0.5, -1, 2}, Point{1e20, 0, 0}}) {
    const auto dense = obj_text("x", "x.mtl", g, origin, 0.25, VertexIndex::dense);
    EXPECT_EQ(dense, obj_text("x", "x.mtl", g, origin, 0.25, VertexIndex::hashed));
    EXPECT_EQ(dense, obj_text("x", "x.mtl", g, origin, 0.25));
    EXPECT_EQ(dense.find("usemtl unused"), std::string::npos);
  }
  // At 1e20 every x coordinate is the same double: the x-planes collapse.
  const auto flat = obj_text("x", "x.mtl", g, {1e20, 0, 0}, 0.25);
  std::size_t vertices = 0;
  for (std::size_t at = flat.find("\nv "); at != std::string::npos; at = flat.find("\nv ", at + 1)) ++vertices;
  EXPECT_EQ(vertices, 6u * 5u);
}
