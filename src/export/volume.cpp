#include "export/volume.h"

#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <stdexcept>
#include <system_error>

#include "common/numfmt.h"
#include "common/thread_pool.h"
#include "data_loader/store.h"
#include "export/file_io.h"
#include "export/names.h"
#include "sample/point_sampler.h"

namespace tess::exporter {

using sample::Box;
using sample::Point;
using sample::VoxelGrid;

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 16;

// Formats n values in chunks spread over the pool, each chunk into its own
// string by format(out, i), then joins them in order: the text is the same as
// one sequential pass.
template <class Format>
void append_lines(std::string& out, std::size_t n, Format format, const Cancel& cancel) {
  const std::size_t chunks = (n + kChunk - 1) / kChunk;
  if (chunks <= 1) {
    for (std::size_t i = 0; i < n; ++i) format(out, i);
    return;
  }
  std::vector<std::string> parts(chunks);
  std::atomic<bool> failed = false;
  parallel_for(
      chunks,
      [&](std::size_t c) {
        try {
          std::string& part = parts[c];
          const std::size_t end = std::min(n, (c + 1) * kChunk);
          for (std::size_t i = c * kChunk; i < end; ++i) format(part, i);
        } catch (...) {  // bad_alloc; the body must not throw
          failed.store(true);
        }
      },
      cancel);
  if (failed.load()) throw std::bad_alloc();
  std::size_t total = out.size();
  for (const auto& p : parts) total += p.size();
  out.reserve(total);
  for (auto& p : parts) {
    out += p;
    std::string().swap(p);
  }
}

void append_uint(std::string& out, std::uint64_t v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

std::uint64_t voxel_count(const VoxelGrid& grid) { return grid.phase_ids.size(); }

std::string too_large(std::string_view origin, const VoxelGrid& grid) {
  return std::string(origin) + ": grid of " + std::to_string(grid.nx) + " x " + std::to_string(grid.ny) + " x " +
         std::to_string(grid.nz) + " voxels is too large to write";
}

}  // namespace

void append_vtk_header(std::string& out, std::string_view name, const VoxelGrid& grid, const Point& origin,
                       double spacing) {
  out += "# vtk DataFile Version 3.0\ntessarine ";
  out += line_text(name);
  out += "\nASCII\nDATASET STRUCTURED_POINTS\nDIMENSIONS ";
  append_uint(out, grid.nx);
  out += ' ';
  append_uint(out, grid.ny);
  out += ' ';
  append_uint(out, grid.nz);
  out += "\nORIGIN ";
  for (int k = 0; k < 3; ++k) {
    if (k > 0) out += ' ';
    numfmt::append_shortest_positional(out, origin[static_cast<std::size_t>(k)]);
  }
  out += "\nSPACING ";
  for (int k = 0; k < 3; ++k) {
    if (k > 0) out += ' ';
    numfmt::append_shortest_positional(out, spacing);
  }
  out += "\nPOINT_DATA ";
  // The product of the counts, as the grid holds exactly that many voxels.
  append_uint(out, grid.nx * grid.ny * grid.nz);
  out += "\nSCALARS phase_id int 1\nLOOKUP_TABLE default\n";
}

void append_vtk_phase_values(std::string& out, const VoxelGrid& grid, const Cancel& cancel) {
  const auto& ids = grid.phase_ids;
  append_lines(
      out, ids.size(),
      [&](std::string& s, std::size_t i) {
        const std::int32_t v = ids[i];
        if (v >= 0 && v < 10) {
          const char line[2] = {static_cast<char>('0' + v), '\n'};
          s.append(line, 2);
        } else {
          char buf[16];
          auto r = std::to_chars(buf, buf + sizeof buf, v);
          *r.ptr++ = '\n';
          s.append(buf, r.ptr);
        }
      },
      cancel);
}

void append_vtk_scalars(std::string& out, std::string_view property, const std::vector<double>& values,
                        const Cancel& cancel) {
  out += "SCALARS ";
  out += vtk_array_name(property);
  out += " float 1\nLOOKUP_TABLE default\n";
  append_lines(
      out, values.size(),
      [&](std::string& s, std::size_t i) {
        numfmt::append_fixed(s, values[i], 6);
        s += '\n';
      },
      cancel);
}

std::vector<double> voxel_sample(const Json& entry, std::string_view property, const Box& box, double voxel_size,
                                 std::uint64_t nx, std::uint64_t ny, std::uint64_t nz, double scale_m,
                                 const Cancel& cancel) {
  std::vector<double> values;
  assign_checked(values, static_cast<std::size_t>(nx * ny * nz), 0.0, cancel);
  const auto rows = static_cast<std::size_t>(ny * nz);
  const sample::PointSampler sampler(entry, property, scale_m, cancel);
  // The sampler only reads, so rows can be sampled on any thread; each value
  // depends on its own voxel alone.
  parallel_for(
      rows,
      [&](std::size_t row) {
        const std::uint64_t iy = row % ny;
        const std::uint64_t iz = row / ny;
        const double y = box.min[1] + (static_cast<double>(iy) + 0.5) * voxel_size;
        const double z = box.min[2] + (static_cast<double>(iz) + 0.5) * voxel_size;
        double* dst = values.data() + row * nx;
        for (std::uint64_t ix = 0; ix < nx; ++ix) {
          const double x = box.min[0] + (static_cast<double>(ix) + 0.5) * voxel_size;
          try {
            if (auto v = sampler.at(Point{x, y, z})) dst[ix] = *v;
          } catch (...) {  // an allocation failure counts as a failed sample
          }
        }
      },
      cancel);
  return values;
}

Result<std::string> export_vtk_legacy(std::string_view name, std::string_view out_path, const Box& box,
                                      double voxel_size, const std::vector<std::string>& properties,
                                      std::optional<double> scale_m, const Cancel& cancel) {
  if (name.empty()) return Error("export_vtk_legacy: name required");
  if (voxel_size <= 0) return Error("export_vtk_legacy: voxel_size must be positive");
  auto grid = sample::voxel_phase_map(name, box, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();
  const VoxelGrid& g = *grid;

  // Every voxel takes at least 2 bytes in the phase section and 9 in each
  // property section; refuse at once what can never fit in memory.
  const std::uint64_t n = voxel_count(g);
  const std::uint64_t per_voxel = 2 + 9 * static_cast<std::uint64_t>(properties.size());
  if (properties.size() > std::numeric_limits<std::uint32_t>::max() || n > std::string().max_size() / per_voxel) {
    return Error(too_large("export_vtk_legacy", g));
  }

  std::string text;
  try {
    text.reserve(static_cast<std::size_t>(n * per_voxel + 256));
    append_vtk_header(text, name, g, box.min, voxel_size);
    append_vtk_phase_values(text, g, cancel);
    const double s = scale_m.value_or(voxel_size);
    for (const auto& property : properties) {
      if (property.empty()) panic("voxel_sample: property must be non-empty");
      // A copy of the entry is sampled: the token's callback may run code
      // that changes the store, which must not wait on a lock this call
      // holds. A name that has gone missing samples as zeros, like any
      // failed sample.
      const std::optional<Json> entry = data_loader::DATA().find_entry(name);
      const auto values = entry ? voxel_sample(*entry, property, box, voxel_size, g.nx, g.ny, g.nz, s, cancel)
                                : std::vector<double>(static_cast<std::size_t>(n), 0.0);
      append_vtk_scalars(text, property, values, cancel);
    }
  } catch (const std::bad_alloc&) {
    return Error(too_large("export_vtk_legacy", g));
  } catch (const std::length_error&) {
    return Error(too_large("export_vtk_legacy", g));
  }

  if (auto st = write_file(std::string(out_path), text, Parents::create, cancel); !st) {
    return std::move(st).error();
  }
  return std::string(out_path);
}

// ---- Raw float32 volume and sidecar ----

Status raw_volume(const VoxelGrid& grid, std::string_view mode, const ByteSink& put, const Cancel& cancel) {
  const bool occupancy = mode == "occupancy";
  const auto& ids = grid.phase_ids;
  constexpr std::size_t kPiece = std::size_t{1} << 16;  // voxels
  std::vector<char> buffer(4 * std::min(kPiece, ids.size()));
  for (std::size_t first = 0; first < ids.size(); first += kPiece) {
    cancel.check();
    const std::size_t n = std::min(kPiece, ids.size() - first);
    char* dst = buffer.data();
    for (std::size_t i = first; i < first + n; ++i, dst += 4) {
      const float f = occupancy ? (ids[i] >= 0 ? 1.0f : 0.0f) : static_cast<float>(ids[i]);
      const auto bits = std::bit_cast<std::uint32_t>(f);
      for (int b = 0; b < 4; ++b) dst[b] = static_cast<char>((bits >> (8 * b)) & 0xFFu);
    }
    if (auto w = put(std::string_view(buffer.data(), 4 * n)); !w) return w;
  }
  return ok_status();
}

std::filesystem::path sidecar_path(const std::filesystem::path& out_path) {
  std::filesystem::path p = out_path;
  p.replace_extension("json");
  return p;
}

void append_json_string(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  for (char c : s) {
    const auto b = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\f': out += "\\f"; break;
      case '\r': out += "\\r"; break;
      default:
        if (b < 0x20) {
          out += "\\u00";
          out += kHex[b >> 4];
          out += kHex[b & 0xF];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

namespace {

// Pretty JSON pieces: every member and array element on its own line.
class PrettyWriter {
 public:
  explicit PrettyWriter(std::string& out) : out_(out) {}

  void begin_object() { open('{'); }
  void end_object() { close('}'); }
  void begin_array() { open('['); }
  void end_array() { close(']'); }
  void key(std::string_view k) {
    item();
    append_json_string(out_, k);
    out_ += ": ";
    after_key_ = true;
  }
  void string(std::string_view s) {
    item();
    append_json_string(out_, s);
  }
  void number(double v) {
    item();
    numfmt::append_json_float(out_, v);
  }
  void integer(std::uint64_t v) {
    item();
    append_uint(out_, v);
  }

 private:
  // Starts a value or a key: a comma after a sibling, then a new line at the
  // current depth; a value right after its key stays on the key's line.
  void item() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (!first_.empty()) {
      if (!first_.back()) out_ += ',';
      first_.back() = false;
      out_ += '\n';
      out_.append(2 * first_.size(), ' ');
    }
  }
  void open(char c) {
    item();
    out_ += c;
    first_.push_back(true);
  }
  void close(char c) {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) {
      out_ += '\n';
      out_.append(2 * first_.size(), ' ');
    }
    out_ += c;
  }

  std::string& out_;
  std::vector<bool> first_;  // per open container: no element written yet
  bool after_key_ = false;
};

}  // namespace

std::string sidecar_json(std::string_view name, std::string_view mode, const Box& box, double voxel_size,
                         const VoxelGrid& grid) {
  std::string out;
  PrettyWriter w(out);
  w.begin_object();
  w.key("bounds");
  w.begin_array();
  for (const Point& corner : {box.min, box.max}) {
    w.begin_array();
    for (double v : corner) w.number(v);
    w.end_array();
  }
  w.end_array();
  w.key("dtype");
  w.string("float32");
  w.key("layout");
  w.string("x-fastest");
  w.key("mode");
  w.string(mode);
  w.key("name");
  w.string(name);
  w.key("phase_names");
  w.begin_array();
  for (const auto& p : grid.phase_names) w.string(p);
  w.end_array();
  w.key("shape_xyz");
  w.begin_array();
  w.integer(grid.nx);
  w.integer(grid.ny);
  w.integer(grid.nz);
  w.end_array();
  w.key("voxel_size_m");
  w.number(voxel_size);
  w.end_object();
  return out;
}

Result<std::string> export_sdf_raw(std::string_view name, std::string_view out_path, const Box& box, double voxel_size,
                                   std::optional<double> scale_m, std::string_view mode, const Cancel& cancel) {
  if (name.empty()) return Error("export_sdf_raw: name required");
  if (voxel_size <= 0) return Error("export_sdf_raw: voxel_size must be positive");
  auto grid = sample::voxel_phase_map(name, box, voxel_size, scale_m, cancel);
  if (!grid) return std::move(grid).error();

  const std::filesystem::path raw_path{out_path};
  const std::filesystem::path json_path = sidecar_path(raw_path);
  if (same_destination(raw_path.string(), json_path.string())) {
    return Error("export_sdf_raw: sidecar path '" + json_path.string() + "' would overwrite the volume file '" +
                 std::string(out_path) + "'");
  }

  // Both files replace their targets only once both are whole.
  auto raw = FileWriter::create(raw_path.string(), Parents::require, cancel);
  if (!raw) return std::move(raw).error();
  if (auto st = raw_volume(
          *grid, mode, [&](std::string_view bytes) { return raw->write(bytes); }, cancel);
      !st) {
    return std::move(st).error();
  }
  auto sidecar = FileWriter::create(json_path.string(), Parents::require, cancel);
  if (!sidecar) return std::move(sidecar).error();
  if (auto st = sidecar->write(sidecar_json(name, mode, box, voxel_size, *grid)); !st) return std::move(st).error();
  if (auto st = finish_both(*raw, *sidecar); !st) return std::move(st).error();
  return std::string(out_path);
}

}  // namespace tess::exporter
