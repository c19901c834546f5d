// The property grid holds the values of the VTK writer's property sections.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "data_loader/store.h"
#include "export/property_grid.h"
#include "export/volume.h"

using namespace tess;

namespace {

// The lines of the section after "SCALARS <property> float 1" and its lookup table line.
std::vector<std::string> vtk_section(const std::string& text, const std::string& property) {
  std::istringstream in(text.substr(text.find("SCALARS " + property + " float 1\n")));
  std::vector<std::string> lines;
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  while (std::getline(in, line) && line.rfind("SCALARS", 0) != 0) lines.push_back(line);
  return lines;
}

}  // namespace

TEST(PropertyGrid, HoldsWhatTheVtkWriterWrites) {
  ASSERT_TRUE(data_loader::DATA()
                  .insert_entry("alloy", "pg_two", Json::parse(R"({"phase_model": "voronoi", "d": 5,
                     "phase_volume_fractions": {"a": 0.5, "b": 0.3, "c": 0.2},
                     "phase_properties": {"a": {"d": 1.25}, "b": {"d": -2}}})"))
                  .ok());
  const sample::Box box{{-0.0031, 0.0, 0.001}, {0.0029, 0.0042, 0.0023}};
  const std::string path = testing::TempDir() + "property_grid.vtk";
  for (const std::optional<double> scale : {std::optional<double>(), std::optional<double>(0.0007)}) {
    auto written = exporter::export_vtk_legacy("pg_two", path, box, 0.0005, {"d", "none"}, scale);
    ASSERT_TRUE(written.ok());
    std::ifstream file(path);
    const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    auto grid = sample::voxel_phase_map("pg_two", box, 0.0005, scale);
    ASSERT_TRUE(grid.ok());
    for (const std::string property : {"d", "none"}) {
      const auto values =
          exporter::property_grid("pg_two", property, box, 0.0005, {grid->nx, grid->ny, grid->nz}, scale);
      const auto lines = vtk_section(text, property);
      ASSERT_EQ(values.size(), lines.size());
      for (std::size_t i = 0; i < values.size(); ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.6f", values[i]);
        ASSERT_EQ(buf, lines[i]) << property << " " << i;
      }
    }
  }
  std::remove(path.c_str());
  EXPECT_EQ(exporter::property_grid("pg_missing", "d", box, 0.0005, {2, 1, 1}, std::nullopt),
            std::vector<double>(2, 0.0));
}
