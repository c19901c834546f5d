#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/platform.h"
#include "data_loader/store.h"
#include "export/raw_writer.h"
#include "export/vtk_writer.h"
#include "grid_helpers.h"

using namespace tess;
using namespace tess::exporter;
using sample::Box;
using sample::VoxelGrid;

TEST(Vtk, HeaderNumbersAndValueForms) {
  const VoxelGrid g = grid_of(1, 1, 1, {-12}, {"a"});
  std::string text;
  append_vtk_header(text, "na me", g, {-0.0, -2, 1e-7}, std::numeric_limits<double>::infinity());
  EXPECT_NE(text.find("tessarine na me\n"), std::string::npos);
  EXPECT_NE(text.find("\nORIGIN -0 -2 0.0000001\nSPACING inf inf inf\nPOINT_DATA 1\n"), std::string::npos);
  std::string values;
  append_vtk_phase_values(values, grid_of(4, 1, 1, {-12, 9, 10, 2147483647}, {}));
  EXPECT_EQ(values, "-12\n9\n10\n2147483647\n");
  values.clear();
  append_vtk_scalars(values, "p", {0.0000004, -1.5, std::nan(""), -std::numeric_limits<double>::infinity()});
  EXPECT_EQ(values, "SCALARS p float 1\nLOOKUP_TABLE default\n0.000000\n-1.500000\nNaN\n-inf\n");
}

TEST(Vtk, LargeSectionsMatchSequentialText) {
  // More values than one formatting chunk, so the pooled path joins parts.
  const std::size_t n = 200000;
  std::vector<std::int32_t> ids(n);
  std::vector<double> values(n);
  std::string expect_ids, expect_values = "SCALARS v float 1\nLOOKUP_TABLE default\n";
  for (std::size_t i = 0; i < n; ++i) {
    ids[i] = static_cast<std::int32_t>(i % 13) - 1;
    values[i] = static_cast<double>(i) * 0.37 - 1000.0;
    expect_ids += std::to_string(ids[i]) + "\n";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.6f\n", values[i]);
    expect_values += buf;
  }
  std::string got_ids, got_values;
  append_vtk_phase_values(got_ids, grid_of(n, 1, 1, ids, {}));
  append_vtk_scalars(got_values, "v", values);
  // Compared whole: the diff of a failure this long would not fit in memory.
  auto differ_at = [](const std::string& a, const std::string& b) {
    return std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first - a.begin();
  };
  EXPECT_TRUE(got_ids == expect_ids) << "first difference at byte " << differ_at(got_ids, expect_ids);
  EXPECT_TRUE(got_values == expect_values) << "first difference at byte " << differ_at(got_values, expect_values);
}

TEST(Vtk, TextThatCannotBeHeldIsRefusedBeforeAnyIsMade) {
  // 8e6 voxels of at least 1.8e6 bytes each: no machine holds that text.
  // Where the machine's memory is unknown nothing tells it so, and the
  // streamed text would be written until the disk is full.
  if (!platform::physical_memory()) GTEST_SKIP() << "the size of physical memory is unknown";
  ASSERT_TRUE(data_loader::DATA().insert_entry("alloy", "vtk_plain", Json{{"d", 1}}).ok());
  const std::vector<std::string> properties(200000, "d");
  const auto r = export_vtk_legacy("vtk_plain", "never.vtk", {{0, 0, 0}, {2, 2, 2}}, 0.01, properties, std::nullopt);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.error().message(),
            "export_vtk_legacy: the text of a grid of 200 x 200 x 200 voxels is too large to allocate; use a larger "
            "voxel_size or fewer properties");
}

namespace {

std::string raw_volume_bytes(const VoxelGrid& grid, std::string_view mode) {
  std::string bytes;
  EXPECT_TRUE(raw_volume(grid, mode, [&](std::string_view piece) -> tess::Status {
    bytes += piece;
    return tess::ok_status();
  }));
  return bytes;
}

}  // namespace

TEST(RawVolume, PhaseAndOccupancyBytes) {
  const VoxelGrid g = grid_of(2, 2, 1, {0, 1, 2, -1}, {"a", "b", "c"});
  const std::string phase = raw_volume_bytes(g, "phase");
  ASSERT_EQ(phase.size(), 16u);
  const unsigned char expect_phase[16] = {0, 0, 0, 0, 0, 0, 0x80, 0x3F, 0, 0, 0, 0x40, 0, 0, 0x80, 0xBF};
  EXPECT_EQ(std::memcmp(phase.data(), expect_phase, 16), 0);
  const std::string occ = raw_volume_bytes(g, "occupancy");
  const unsigned char expect_occ[16] = {0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F, 0, 0, 0, 0};
  EXPECT_EQ(std::memcmp(occ.data(), expect_occ, 16), 0);
  EXPECT_EQ(raw_volume_bytes(g, "Occupancy"), phase);
}

TEST(RawVolume, SidecarPathAndDocument) {
  for (auto [raw, json] : {std::pair{"vol.raw", "vol.json"},
                           {"vol", "vol.json"},
                           {"a.b.raw", "a.b.json"},
                           {".vol", ".vol.json"},
                           {"out.d/vol", "out.d/vol.json"},
                           {"vol.json", "vol.json"}}) {
    EXPECT_EQ(sidecar_path(raw), json);
  }

  const VoxelGrid g = grid_of(2, 1, 1, {0, 0}, {"Steel"});
  const Box box{{0, -0.0, 1e-7}, {0.002, 1.5e20, std::nan("")}};
  EXPECT_EQ(sidecar_json("Steel", "phase", box, 0.001, g),
            "{\n"
            "  \"bounds\": [\n"
            "    [\n      0.0,\n      -0.0,\n      1e-7\n    ],\n"
            "    [\n      0.002,\n      1.5e20,\n      null\n    ]\n"
            "  ],\n"
            "  \"dtype\": \"float32\",\n"
            "  \"layout\": \"x-fastest\",\n"
            "  \"mode\": \"phase\",\n"
            "  \"name\": \"Steel\",\n"
            "  \"phase_names\": [\n    \"Steel\"\n  ],\n"
            "  \"shape_xyz\": [\n    2,\n    1,\n    1\n  ],\n"
            "  \"voxel_size_m\": 0.001\n"
            "}");
  const VoxelGrid none = grid_of(1, 1, 1, {0}, {});
  const std::string doc = sidecar_json("m", "x", box, std::numeric_limits<double>::infinity(), none);
  EXPECT_NE(doc.find("\"phase_names\": [],\n"), std::string::npos);
  EXPECT_NE(doc.find("\"voxel_size_m\": null\n}"), std::string::npos);
}
