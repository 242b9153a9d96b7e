// koravel._koravel: the engine for Python, through the C interface and the export job; the GIL is released while it works.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <koravel/koravel.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>

#include "export/export_control.h"
#include "export/export_job.h"

#ifdef KORAVEL_EXPORT_PICTURES
#include "export/picture.h"
static const PictureWriter kPictureWriter = WriteTerrainPicture;
static const bool kCanRender = true;
#else
static const PictureWriter kPictureWriter = nullptr;
static const bool kCanRender = false;
#endif

namespace py = pybind11;

namespace {

// seed, height, init_freq, freq_scale, pass_height_scale, passes, river, then erode, erosion_steps,
// erodibility, deposition, talus, creep: checked by the Python side's types.
using Settings = std::tuple<int32_t, float, int32_t, int32_t, float, int32_t, bool, bool, int32_t, float, float,
                            float, float>;
// x0, z0, width, depth
using Tile = std::tuple<int64_t, int64_t, int64_t, int64_t>;

koravel_settings Record(const Settings& s) {
  koravel_settings record;
  koravel_settings_init(&record, sizeof record);
  record.seed = std::get<0>(s);
  record.height = std::get<1>(s);
  record.init_freq = std::get<2>(s);
  record.freq_scale = std::get<3>(s);
  record.pass_height_scale = std::get<4>(s);
  record.passes = std::get<5>(s);
  record.river = std::get<6>(s) ? 1 : 0;
  record.erode = std::get<7>(s) ? 1 : 0;
  record.erosion_steps = std::get<8>(s);
  record.erodibility = std::get<9>(s);
  record.deposition = std::get<10>(s);
  record.talus = std::get<11>(s);
  record.creep = std::get<12>(s);
  return record;
}

// Ctrl+C while the engine works: the C interface's progress callback runs on the
// calling thread, which takes the GIL back for a moment to let Python see signals.
// Calls of fewer samples, over in a fraction of a second, run without it (and the
// thread it takes): Python sees Ctrl+C as soon as they return. Erosion, of the
// whole terrain whatever the tile, is watched at every size.
constexpr uint64_t kWatchedSamples = uint64_t{1} << 25;

bool Erodes(const Settings& settings) {
  return std::get<7>(settings);
}

struct SignalWatch {
  bool interrupted = false;
};

int32_t WatchSignals(double, void* userData) {
  SignalWatch* watch = static_cast<SignalWatch*>(userData);
  py::gil_scoped_acquire gil;
  if (PyErr_CheckSignals() != 0) {
    watch->interrupted = true;
    return 1;
  }
  return 0;
}

// Turns a status of the C interface into the Python exception it stands for.
void Raise(koravel_status status, const SignalWatch& watch) {
  if (watch.interrupted) throw py::error_already_set();
  switch (status) {
    case KORAVEL_OK: return;
    case KORAVEL_ERROR_NO_MEMORY: throw std::bad_alloc();
    case KORAVEL_ERROR_SETTINGS:
    case KORAVEL_ERROR_SHAPE:
    case KORAVEL_ERROR_ARGUMENT: throw py::value_error(koravel_status_text(status));
    default: throw std::runtime_error(koravel_status_text(status));
  }
}

std::string Version() {
  return koravel_version();
}

std::string CheckSettings(const Settings& settings) {
  const koravel_settings record = Record(settings);
  char message[512];
  koravel_check_settings(&record, message, sizeof message);
  return message;
}

std::string CheckRect(int64_t width, int64_t depth, const Tile& tile) {
  const koravel_rect rect = {std::get<0>(tile), std::get<1>(tile), std::get<2>(tile), std::get<3>(tile)};
  char message[512];
  koravel_check_rect(width, depth, &rect, message, sizeof message);
  return message;
}

// The heights and the water (each only when wanted) of tile, as (rows, columns) float32 arrays.
py::tuple Generate(const Settings& settings, int64_t width, int64_t depth, const Tile& tile, int32_t threads,
                   bool wantHeights, bool wantWater) {
  const koravel_settings record = Record(settings);
  const koravel_rect rect = {std::get<0>(tile), std::get<1>(tile), std::get<2>(tile), std::get<3>(tile)};
  const std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(rect.depth), static_cast<py::ssize_t>(rect.width)};
  py::object heights = py::none(), water = py::none();
  float* heightsOut = nullptr;
  float* waterOut = nullptr;
  if (wantHeights) {
    py::array_t<float> array(shape);
    heightsOut = array.mutable_data();
    heights = array;
  }
  if (wantWater) {
    py::array_t<float> array(shape);
    waterOut = array.mutable_data();
    water = array;
  }
  const size_t floats = static_cast<size_t>(rect.width) * static_cast<size_t>(rect.depth);
  SignalWatch watch;
  koravel_status status;
  {
    py::gil_scoped_release released;
    const koravel_progress_fn progress = floats >= kWatchedSamples || Erodes(settings) ? WatchSignals : nullptr;
    status = koravel_generate(&record, width, depth, &rect, heightsOut, waterOut, floats, threads, progress, &watch);
  }
  Raise(status, watch);
  return py::make_tuple(heights, water);
}

py::tuple HeightRange(const Settings& settings, int64_t width, int64_t depth, int32_t threads) {
  const koravel_settings record = Record(settings);
  float low = 0.0f, high = 0.0f;
  SignalWatch watch;
  koravel_status status;
  {
    py::gil_scoped_release released;
    const uint64_t samples = static_cast<uint64_t>(width) * static_cast<uint64_t>(depth);
    const koravel_progress_fn progress = samples >= kWatchedSamples || Erodes(settings) ? WatchSignals : nullptr;
    status = koravel_height_range(&record, width, depth, threads, progress, &watch, &low, &high);
  }
  Raise(status, watch);
  return py::make_tuple(low, high);
}

// The drainage map of tile as a (rows, columns) uint64 array, and the whole terrain's largest count.
py::tuple Flow(const Settings& settings, int64_t width, int64_t depth, const Tile& tile, int32_t threads) {
  const koravel_settings record = Record(settings);
  const koravel_rect rect = {std::get<0>(tile), std::get<1>(tile), std::get<2>(tile), std::get<3>(tile)};
  py::array_t<uint64_t> counts(
      std::vector<py::ssize_t>{static_cast<py::ssize_t>(rect.depth), static_cast<py::ssize_t>(rect.width)});
  uint64_t* out = counts.mutable_data();
  uint64_t largest = 0;
  SignalWatch watch;
  koravel_status status;
  {
    py::gil_scoped_release released;
    const size_t samples = static_cast<size_t>(rect.width) * static_cast<size_t>(rect.depth);
    // The drainage map, of the whole terrain whatever the tile, is watched at every size.
    status = koravel_flow(&record, width, depth, &rect, out, samples, &largest, threads, WatchSignals, &watch);
  }
  Raise(status, watch);
  return py::make_tuple(counts, largest);
}

// Pictures use the process-wide view records: one at a time.
std::mutex pictureMutex;

// Runs the export on a thread of its own while this one, without the GIL, lets Python see Ctrl+C.
bool RunWatched(const ExportRequest& request, ExportOutcome* outcome, SignalWatch* watch) {
  ExportControl control;
  std::mutex mutex;
  std::condition_variable finished;
  bool over = false, done = false;
  py::gil_scoped_release released;
  std::unique_lock<std::mutex> picture(pictureMutex, std::defer_lock);
  if (!request.picturePath.empty()) picture.lock();
  std::thread worker([&] {
    const bool result = RunExport(request, &control, kPictureWriter, outcome);
    std::lock_guard<std::mutex> lock(mutex);
    done = result;
    over = true;
    finished.notify_one();
  });
  std::unique_lock<std::mutex> lock(mutex);
  while (!finished.wait_for(lock, std::chrono::milliseconds(100), [&] { return over; })) {
    lock.unlock();
    if (WatchSignals(0.0, watch) != 0) CancelExport(&control);
    lock.lock();
  }
  lock.unlock();
  worker.join();
  return done;
}

// The files of tile (or of the whole terrain) through the export job, as koravel-export writes them.
py::tuple Write(const Settings& settings, int64_t width, int64_t depth, const std::optional<Tile>& tile,
                int32_t threads, const std::optional<std::tuple<float, float>>& range, bool flat,
                const std::string& heights, const std::string& water, const std::string& colour,
                const std::string& mesh, const std::string& render, const std::string& flow,
                const std::tuple<int32_t, int32_t>& view, float pitch, float yaw, float zoom, bool wire) {
  const koravel_settings record = Record(settings);
  ExportRequest request;
  request.settings = {record.seed, record.height, record.pass_height_scale, static_cast<float>(record.freq_scale),
                      static_cast<float>(record.init_freq), record.passes, record.river};
  request.terrainWidth = width;
  request.terrainDepth = depth;
  request.rect = {0, 0, width, depth};
  if (tile) {
    request.tile = true;
    request.rect = {std::get<0>(*tile), std::get<1>(*tile), std::get<2>(*tile), std::get<3>(*tile)};
  }
  request.threads = threads;
  request.erode = record.erode == 1;
  request.erosion = {record.erosion_steps, record.erodibility, record.deposition, record.talus, record.creep};
  if (range) {
    request.rangeGiven = true;
    request.rangeLow = std::get<0>(*range);
    request.rangeHigh = std::get<1>(*range);
  }
  request.flat = flat;
  request.heightsPath = heights;
  request.heightsFormat = HeightFormatOfPath(heights);
  request.waterPath = water;
  request.waterFormat = WaterFormatOfPath(water);
  if (!colour.empty() && HeightFormatOfPath(colour) != kHeightsPng16) {
    throw py::value_error("colour: '" + colour + "' does not end in .png");
  }
  request.colourPath = colour;
  if (!mesh.empty() && !MeshFormatOfPath(mesh, &request.meshFormat)) {
    throw py::value_error("mesh: '" + mesh + "' ends neither in .obj nor in .glb");
  }
  request.meshPath = mesh;
  if (!render.empty() && HeightFormatOfPath(render) != kHeightsPng16) {
    throw py::value_error("render: '" + render + "' does not end in .png");
  }
  request.picturePath = render;
  request.flowFormat = FlowFormatOfPath(flow);
  if (!flow.empty() && request.flowFormat == kFlowFloat && !IsRawFloatPath(flow)) {
    throw py::value_error("flow: '" + flow + "' ends in none of .png (16-bit grey, log scale), .f32, .raw or .bin "
                          "(raw 32-bit floats)");
  }
  request.flowPath = flow;
  request.view = {std::get<0>(view), std::get<1>(view), pitch, yaw, zoom, wire};

  ExportOutcome outcome;
  SignalWatch watch;
  const bool done = RunWatched(request, &outcome, &watch);
  if (watch.interrupted) throw py::error_already_set();
  if (!done) {
    switch (outcome.status) {
      case kExportRefused: throw py::value_error(outcome.message);
      case kExportNoMemory: throw std::bad_alloc();
      case kExportFileError: {
        PyErr_SetString(PyExc_OSError, outcome.message.c_str());
        throw py::error_already_set();
      }
      default: throw std::runtime_error(outcome.message);
    }
  }
  return py::make_tuple(outcome.minHeight, outcome.maxHeight);
}

}  // namespace

PYBIND11_MODULE(_koravel, module) {
  module.doc() = "Koravel's engine; use the koravel package, which checks what it is given.";
  module.def("version", &Version);
  module.def("check_settings", &CheckSettings, "An empty string, or why the settings are refused.");
  module.def("check_rect", &CheckRect, "An empty string, or why the tile of the terrain is refused.");
  module.def("generate", &Generate, py::arg("settings"), py::arg("width"), py::arg("depth"), py::arg("tile"),
             py::arg("threads"), py::arg("heights"), py::arg("water"));
  module.def("flow", &Flow, py::arg("settings"), py::arg("width"), py::arg("depth"), py::arg("tile"),
             py::arg("threads"));
  module.def("height_range", &HeightRange, py::arg("settings"), py::arg("width"), py::arg("depth"),
             py::arg("threads"));
  module.def("write", &Write, py::arg("settings"), py::arg("width"), py::arg("depth"), py::arg("tile"),
             py::arg("threads"), py::arg("range"), py::arg("flat"), py::arg("heights"), py::arg("water"),
             py::arg("colour"), py::arg("mesh"), py::arg("render"), py::arg("flow"), py::arg("view"), py::arg("pitch"),
             py::arg("yaw"), py::arg("zoom"), py::arg("wire"));
  module.attr("can_render") = kCanRender;
  module.attr("max_terrain_side") = static_cast<int64_t>(KORAVEL_MAX_TERRAIN_SIDE);
  module.attr("max_field_side") = static_cast<int64_t>(KORAVEL_MAX_FIELD_SIDE);
}
