// One export: generate a terrain (or a tile of it) and write the requested files, all or nothing.
#include "export/export_job.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "export/band_stream.h"
#include "export/export_control.h"
#include "export/export_field.h"
#include "export/output_file.h"
#include "export/png_writer.h"
#include "export/sample_formats.h"
#include "export/whole_terrain.h"
#include "koravel_version.h"
#include "platform/memory/field_memory.h"
#include "terrain/generation_limits.h"
#include "terrain/tiled_synthesis.h"

double ExportFraction(const ExportControl& control) {
  const int64_t total = control.workTotal.load();
  if (total <= 0) return 0.0;
  double done = static_cast<double>(control.workDone.load());
  const int64_t share = control.synthesisShare.load();
  const int64_t synthesisTotal = control.synthesis.workTotal.load();
  if (share > 0 && synthesisTotal > 0) {
    const double part = static_cast<double>(control.synthesis.workDone.load()) / static_cast<double>(synthesisTotal);
    done += static_cast<double>(share) * std::min(1.0, part);
  }
  return std::min(1.0, done / static_cast<double>(total));
}

static std::string LowerExtension(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string extension = path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

HeightFormat HeightFormatOfPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  if (extension == ".png") return kHeightsPng16;
  if (extension == ".r16") return kHeightsR16;
  return kHeightsFloat;
}

WaterFormat WaterFormatOfPath(const std::string& path) {
  return LowerExtension(path) == ".png" ? kWaterPng8 : kWaterFloat;
}

FlowFormat FlowFormatOfPath(const std::string& path) {
  return LowerExtension(path) == ".png" ? kFlowPng16 : kFlowFloat;
}

bool MeshFormatOfPath(const std::string& path, MeshFormat* format) {
  const std::string extension = LowerExtension(path);
  if (extension == ".obj") *format = kMeshObj;
  else if (extension == ".glb") *format = kMeshGlb;
  else return false;
  return true;
}

bool IsRawFloatPath(const std::string& path) {
  const std::string extension = LowerExtension(path);
  return extension.empty() || extension == ".f32" || extension == ".raw" || extension == ".bin";
}

std::string ExportGenerator() {
  return std::string("Koravel ") + KORAVEL_VERSION;
}

std::string TerrainOptionsText(const ExportRequest& request) {
  const TerrainSettings& s = request.settings;
  std::string text = "--seed " + std::to_string(s.seed) + " --height " + FloatText(s.terrainHeight) +
                     " --pass-height-scale " + FloatText(s.passHeightScale) + " --freq-scale " +
                     FloatText(s.freqScale) + " --init-freq " + FloatText(s.initFreq) + " --passes " +
                     std::to_string(s.passCount);
  if (s.river == 1) text += " --river";
  if (request.erode) {
    const ErosionSettings& e = request.erosion;
    text += " --erode --erosion-steps " + std::to_string(e.steps) + " --erodibility " + FloatText(e.erodibility) +
            " --deposition " + FloatText(e.deposition) + " --talus " + FloatText(e.talusAngle) + " --creep " +
            FloatText(e.creep);
  }
  text += " --width " + std::to_string(request.terrainWidth) + " --depth " + std::to_string(request.terrainDepth);
  if (request.tile) {
    text += " --tile " + std::to_string(request.rect.x0) + "," + std::to_string(request.rect.z0) + "," +
            std::to_string(request.rect.width) + "," + std::to_string(request.rect.depth);
  }
  return text;
}

std::string RangeText(float value) {
  char text[32];
  snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

std::string SpacingText(int64_t count) {
  char text[32];
  snprintf(text, sizeof text, "%.9g", static_cast<double>(kTerrainExtentUnits) / static_cast<double>(count));
  return text;
}

namespace {

bool Refuse(ExportOutcome* outcome, ExportStatus status, const std::string& message) {
  outcome->status = status;
  outcome->message = message;
  return false;
}

// One requested file and how to write it: a file of samples, written as the rows come,
// or one that needs the whole field at once.
struct PlannedFile {
  std::string path;
  int64_t work;
  bool samples;
  SampleFileKind kind;
  int format;
  std::vector<PngText> texts;
  std::function<bool(OutputFile*)> write;  // the others
};

bool Whole(const ExportRequest& request) {
  return !request.tile || (request.rect.x0 == 0 && request.rect.z0 == 0 &&
                           request.rect.width == request.terrainWidth && request.rect.depth == request.terrainDepth);
}

// The samples a mesh reads: rect and one more on each side where the terrain goes on.
TerrainRect WithMargin(const TerrainRect& rect, int64_t terrainWidth, int64_t terrainDepth) {
  TerrainRect block = rect;
  if (block.x0 > 0) --block.x0, ++block.width;
  if (block.z0 > 0) --block.z0, ++block.depth;
  if (block.x0 + block.width < terrainWidth) ++block.width;
  if (block.z0 + block.depth < terrainDepth) ++block.depth;
  return block;
}

std::string MiB(uint64_t bytes) {
  return std::to_string((bytes + (1u << 20) - 1) >> 20) + " MiB";
}

// The text chunks of a PNG of samples; the range is known before the first row is written.
// The height range only where the file's values were scaled to it.
std::vector<PngText> PngTexts(const ExportRequest& request, bool withRange, float low, float high,
                              const std::string& what) {
  const std::string spacing = SpacingText(request.terrainWidth) + " " + SpacingText(request.terrainDepth);
  std::vector<PngText> texts = {
      {"Software", ExportGenerator()},
      {"Description", what + " Row 0 lies at z = -75, column 0 at x = -75; neighbouring samples lie 150 / W "
                             "apart along x and 150 / D along z (W x D the whole terrain's samples: the "
                             "\"Koravel sample spacing\"), so W samples span 150 x (W - 1) / W units."},
      {"Koravel options", TerrainOptionsText(request)},
      {"Koravel sample spacing", spacing},
  };
  if (withRange) texts.push_back({"Koravel height range", RangeText(low) + " " + RangeText(high)});
  return texts;
}

// Lays a range found by synthesis over the printed one: the lowest and highest height.
void TakeRange(const HeightRange& range, float* minHeight, float* maxHeight) {
  *minHeight = range.found ? range.low : NAN;
  *maxHeight = range.found ? range.high : NAN;
}

// Finishes the sample files (compressing their PNGs) side by side, on as many threads as there are cores.
bool FinishSampleFiles(std::vector<SampleFile>* samples, const std::vector<size_t>& which) {
  std::vector<char> finished(which.size(), 0);
  std::vector<std::thread> helpers;
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<size_t> next{0};
  auto work = [&] {
    for (size_t i = next++; i < which.size(); i = next++) finished[i] = FinishSampleFile(&(*samples)[which[i]]);
  };
  for (size_t i = 1; i < cores && i < which.size(); ++i) {
    try {
      helpers.emplace_back(work);
    } catch (...) {
      break;
    }
  }
  work();
  for (std::thread& helper : helpers) helper.join();
  return std::all_of(finished.begin(), finished.end(), [](char done) { return done != 0; });
}

// Every requested file's target looked at before anything is made: one that cannot be written
// fails the export now, and two names for one file are refused.
bool CheckExportTargets(const ExportRequest& request, const OutputOptions& options, ExportOutcome* outcome) {
  const std::string* paths[] = {&request.heightsPath, &request.waterPath, &request.colourPath, &request.meshPath,
                                &request.picturePath, &request.flowPath};
  TargetInfo targets[6];
  for (size_t i = 0; i < 6; ++i) {
    if (paths[i]->empty()) continue;
    std::string message;
    if (!CheckOutputTarget(*paths[i], options, &targets[i], &message, &outcome->protectedFile)) {
      return Refuse(outcome, kExportFileError, message);
    }
    for (size_t k = 0; k < i; ++k) {
      if (!paths[k]->empty() && SameTarget(targets[k], targets[i]) && !IsNullDevice(targets[i])) {
        const std::string names = *paths[k] == *paths[i] ? *paths[i] + " is named for two files"
                                                         : *paths[k] + " and " + *paths[i] + " name one file";
        return Refuse(outcome, kExportRefused, names);
      }
    }
  }
  return true;
}

}  // namespace

bool FindWholeTerrainRange(const ExportRequest& request, ExportControl* control, ExportOutcome* outcome) {
  *outcome = ExportOutcome();
  const TerrainSettings& settings = request.settings;
  const GenerationCheck check = CheckGenerationParameters(settings.terrainHeight, settings.passHeightScale,
                                                          settings.freqScale, settings.initFreq, settings.passCount);
  if (check.field != kFieldNone) return Refuse(outcome, kExportRefused, check.message);
  char message[256];
  const TerrainRect whole = {0, 0, 1, 1};
  if (!CheckTerrainRect(request.terrainWidth, request.terrainDepth, whole, message, sizeof message)) {
    return Refuse(outcome, kExportRefused, message);
  }
  if (request.erode) {
    // An eroded terrain is made whole anyway: an export of no file gives its range.
    ExportRequest bare;
    bare.settings = request.settings;
    bare.terrainWidth = request.terrainWidth;
    bare.terrainDepth = request.terrainDepth;
    bare.rect = TerrainRect{0, 0, request.terrainWidth, request.terrainDepth};
    bare.threads = request.threads;
    bare.erode = true;
    bare.erosion = request.erosion;
    if (!RunExport(bare, control, nullptr, outcome)) return false;
    outcome->rangeLow = outcome->minHeight;
    outcome->rangeHigh = outcome->maxHeight;
    return true;
  }
  ExportControl ownControl;
  if (control == nullptr) control = &ownControl;
  control->workDone = 0;
  control->workTotal = request.terrainWidth * request.terrainDepth;
  control->synthesisShare = request.terrainWidth * request.terrainDepth;
  float low = 0.0f, high = 0.0f;
  const bool found = FindTerrainHeightRange(settings, request.terrainWidth, request.terrainDepth, request.threads,
                                            &low, &high, &control->synthesis);
  control->synthesisShare = 0;
  if (ExportCancelled(control)) return Refuse(outcome, kExportCancelled, "cancelled");
  if (!found) return Refuse(outcome, kExportNoMemory, "the memory to find the terrain's height range cannot be had");
  control->workDone = control->workTotal.load();
  outcome->minHeight = outcome->rangeLow = low;
  outcome->maxHeight = outcome->rangeHigh = high;
  return true;
}

bool RunExport(const ExportRequest& request, ExportControl* control, PictureWriter writePicture,
               ExportOutcome* outcome) {
  *outcome = ExportOutcome();
  const TerrainSettings& settings = request.settings;
  const GenerationCheck check = CheckGenerationParameters(settings.terrainHeight, settings.passHeightScale,
                                                          settings.freqScale, settings.initFreq, settings.passCount);
  if (check.field != kFieldNone) return Refuse(outcome, kExportRefused, check.message);
  const TerrainRect rect = Whole(request) ? TerrainRect{0, 0, request.terrainWidth, request.terrainDepth} : request.rect;
  char shapeMessage[256];
  if (!CheckTerrainRect(request.terrainWidth, request.terrainDepth, rect, shapeMessage, sizeof shapeMessage)) {
    return Refuse(outcome, kExportRefused, shapeMessage);
  }
  if (request.rangeGiven && (!std::isfinite(request.rangeLow) || !std::isfinite(request.rangeHigh) ||
                             request.rangeLow > request.rangeHigh)) {
    return Refuse(outcome, kExportRefused, "the height range must be two finite numbers, the lower first");
  }
  const bool wantMesh = !request.meshPath.empty();
  const bool wantPicture = !request.picturePath.empty();
  std::string message;
  if (wantMesh && !CheckMeshShape(request.meshFormat, rect.width, rect.depth, &message)) {
    return Refuse(outcome, kExportRefused, request.meshPath + ": " + message);
  }
  if (wantPicture) {
    if (!Whole(request)) return Refuse(outcome, kExportRefused, "a picture shows a whole terrain, not a tile");
    if (writePicture == nullptr) return Refuse(outcome, kExportRefused, "this program cannot draw pictures");
    if (rect.width > kMaxPictureTerrainSide || rect.depth > kMaxPictureTerrainSide) {
      return Refuse(outcome, kExportRefused,
                    "a picture is drawn from terrains of at most " + std::to_string(kMaxPictureTerrainSide) +
                        " samples a side");
    }
    if (request.view.width < 1 || request.view.height < 1 || request.view.width > kMaxPictureSide ||
        request.view.height > kMaxPictureSide) {
      return Refuse(outcome, kExportRefused,
                    "a picture has 1 to " + std::to_string(kMaxPictureSide) + " pixels a side");
    }
  }
  OutputOptions options;
  options.replaceProtected = request.replaceProtected;
  options.cancelled = control != nullptr ? &control->cancelled : nullptr;
  if (!CheckExportTargets(request, options, outcome)) return false;

  const bool heightsScaled = !request.heightsPath.empty() && request.heightsFormat != kHeightsFloat;
  const bool needRange = heightsScaled || !request.colourPath.empty() || wantMesh;
  const bool needWater = !request.waterPath.empty() || !request.colourPath.empty() || wantMesh || wantPicture;
  // Erosion and the drainage map hold the whole terrain: its range comes with it.
  const bool whole = NeedsWholeTerrain(request);
  if (whole && !CheckWholeTerrain(request, &message)) return Refuse(outcome, kExportRefused, message);
  const bool rangeOfWhole = needRange && !request.rangeGiven && !Whole(request) && !whole;
  // Meshes, pictures, erosion and the drainage map need every sample at once; the other files take
  // the rows as they come.
  const bool wholeField = wantMesh || wantPicture || whole;
  // Scaled rows need the range before the first of them: a whole terrain's streamed files find it first.
  const bool rangeFirst = needRange && !request.rangeGiven && !rangeOfWhole && !wholeField;
  const TerrainRect block = whole ? TerrainRect{0, 0, request.terrainWidth, request.terrainDepth}
                                  : (wantMesh ? WithMargin(rect, request.terrainWidth, request.terrainDepth) : rect);
  if (!CheckTerrainRect(request.terrainWidth, request.terrainDepth, block, shapeMessage, sizeof shapeMessage)) {
    return Refuse(outcome, kExportRefused, std::string("the mesh's normals need one sample around the tile: ") +
                                               shapeMessage);
  }
  const int64_t rectSamples = rect.width * rect.depth;
  const int64_t blockSamples = block.width * block.depth;

  ExportControl ownControl;
  if (control == nullptr) control = &ownControl;
  options.cancelled = &control->cancelled;

  // Each file, in the order written; the field is filled in below.
  ExportField field = {nullptr, nullptr, block, rect, request.terrainWidth, request.terrainDepth, 0.0f, 0.0f};
  std::vector<PlannedFile> files;
  if (!request.heightsPath.empty()) {
    files.push_back({request.heightsPath, rectSamples, true, kSampleHeights, request.heightsFormat,
                     {}, nullptr});
  }
  if (!request.waterPath.empty()) {
    files.push_back({request.waterPath, rectSamples, true, kSampleWater, request.waterFormat, {}, nullptr});
  }
  if (!request.colourPath.empty()) {
    files.push_back({request.colourPath, rectSamples, true, kSampleColours, 0, {}, nullptr});
  }
  if (wantMesh) {
    files.push_back({request.meshPath, MeshWork(request.meshFormat, rect.width, rect.depth), false, kSampleHeights, 0,
                     {}, [&](OutputFile* file) {
      return WriteMesh(field, request.meshFormat, request.flat, MeshNotes{ExportGenerator(), TerrainOptionsText(request)},
                       file, control);
    }});
  }
  std::unique_ptr<uint64_t, decltype(&free)> flow(nullptr, free);
  uint64_t largestFlow = 0;
  if (!request.flowPath.empty()) {
    files.push_back({request.flowPath, rectSamples, false, kSampleHeights, 0, {}, [&](OutputFile* file) {
      return WriteFlow(field, flow.get(), largestFlow, request.flowFormat,
                       PngTexts(request, false, 0.0f, 0.0f, "Drainage: a value v stands for the flow accumulation A (the samples "
                                                "whose water passes, itself included) with v = 65535 x ln(A) / "
                                                "ln(Amax), Amax = " + std::to_string(largestFlow) + "."),
                       file, control);
    }});
  }
  if (wantPicture) {
    files.push_back({request.picturePath, rectSamples, false, kSampleHeights, 0, {}, [&](OutputFile* file) {
      if (!writePicture(field, request, file)) return false;
      AddExportWork(control, rectSamples);
      return true;
    }});
  }

  int64_t total = blockSamples + (rangeOfWhole ? request.terrainWidth * request.terrainDepth : 0) +
                  (rangeFirst ? rectSamples : 0) + (request.erode ? blockSamples : 0) +
                  (request.flowPath.empty() ? 0 : blockSamples);
  for (const PlannedFile& file : files) total += file.work;
  control->workDone = 0;
  control->workTotal = total;

  // The whole terrain's range, when a tile must share its scale.
  float low = request.rangeLow, high = request.rangeHigh;
  if (rangeOfWhole) {
    control->synthesisShare = request.terrainWidth * request.terrainDepth;
    const bool found = FindTerrainHeightRange(settings, request.terrainWidth, request.terrainDepth, request.threads,
                                              &low, &high, &control->synthesis);
    control->synthesisShare = 0;
    if (ExportCancelled(control)) return Refuse(outcome, kExportCancelled, "cancelled");
    if (!found) return Refuse(outcome, kExportNoMemory, "the memory to find the terrain's height range cannot be had");
    AddExportWork(control, request.terrainWidth * request.terrainDepth);
  }

  SynthesisPlan plan;
  if (!PlanSynthesis(settings, request.terrainWidth, request.terrainDepth, &plan)) {
    return Refuse(outcome, kExportNoMemory, "the generation's working memory cannot be had");
  }
  std::unique_ptr<SynthesisPlan, void (*)(SynthesisPlan*)> planned(&plan, ReleaseSynthesisPlan);
  HeightRange range = {false, 0.0f, 0.0f, 0, 0};
  if (rangeFirst) {
    // A first pass over the bands, keeping nothing but their range.
    const bool found = StreamBands(plan, rect, false, request.threads, 0.0f, 0.0f, control,
                                   [&](const ExportField&, const HeightRange& band) {
                                     MergeHeightRange(&range, band);
                                     return true;
                                   });
    if (ExportCancelled(control)) return Refuse(outcome, kExportCancelled, "cancelled");
    if (!found) return Refuse(outcome, kExportNoMemory, "the generation's working memory cannot be had");
    TakeRange(range, &low, &high);
  }

  // The files of samples first (their range known now, unless the whole field gives it), then the others.
  std::vector<OutputFile> outputs(files.size());
  std::vector<SampleFile> samples(files.size());
  std::vector<size_t> sampleFiles;
  bool written = true;
  auto beginSampleFiles = [&] {
    for (size_t i = 0; i < files.size() && written; ++i) {
      if (!files[i].samples) continue;
      const char* what = files[i].kind == kSampleHeights
                             ? (files[i].format == kHeightsFloat ? "Heights." :
                                "Heights: a value v stands for the height low + v / 65535 x (high - low), low and "
                                "high from the height range (float32).")
                             : files[i].kind == kSampleWater ? "Water: a value v stands for the river's intensity v / 255."
                                                             : "Colours of the solid mesh.";
      written = OpenOutputFile(&outputs[i], files[i].path, options) &&
                BeginSampleFile(&samples[i], files[i].kind, files[i].format, rect.width, rect.depth, low, high,
                                PngTexts(request, needRange || request.rangeGiven, low, high, what),
                                request.compression, &outputs[i], control);
      if (!written) {
        message = outputs[i].message;
        outcome->protectedFile = outputs[i].protectedFile;
      }
      sampleFiles.push_back(i);
    }
  };

  const uint64_t fieldBytes = static_cast<uint64_t>(blockSamples) * sizeof(float);
  std::unique_ptr<float, std::function<void(float*)>> heightField(nullptr, [fieldBytes](float* p) {
    ReleaseFieldMemory(p, fieldBytes);
  });
  std::unique_ptr<float, std::function<void(float*)>> waterField(nullptr, [fieldBytes](float* p) {
    ReleaseFieldMemory(p, fieldBytes);
  });
  float minHeight = 0.0f, maxHeight = 0.0f;
  if (!wholeField) {
    beginSampleFiles();
    range = HeightRange{false, 0.0f, 0.0f, 0, 0};
    const bool streamed = written && StreamBands(plan, rect, needWater, request.threads, low, high, control,
                                                 [&](const ExportField& band, const HeightRange& bandRange) {
      MergeHeightRange(&range, bandRange);
      for (size_t i : sampleFiles) {
        if (!WriteSampleRows(&samples[i], band)) {
          message = outputs[i].message;
          return false;
        }
      }
      return written;
    });
    if (ExportCancelled(control)) written = false;
    if (written && !streamed) {
      for (SampleFile& sample : samples) ReleaseSampleFile(&sample);
      for (OutputFile& output : outputs) DiscardOutputFile(&output);
      if (message.empty()) return Refuse(outcome, kExportNoMemory, "the generation's working memory cannot be had");
      return Refuse(outcome, kExportFileError, message);
    }
    TakeRange(range, &minHeight, &maxHeight);
  } else {
    const uint64_t bytes = fieldBytes * (needWater ? 2 : 1) +
                           (whole ? static_cast<uint64_t>(blockSamples * WholeTerrainBytesPerSample(request)) : 0);
    const std::string noMemory = "the " + std::to_string(block.width) + " x " + std::to_string(block.depth) +
                                 " samples need " + MiB(bytes) + " of memory, which cannot be had";
    heightField.reset(static_cast<float*>(AllocateFieldMemory(fieldBytes)));
    if (needWater) waterField.reset(static_cast<float*>(AllocateFieldMemory(fieldBytes)));
    if (heightField == nullptr || (needWater && waterField == nullptr)) return Refuse(outcome, kExportNoMemory, noMemory);
    control->synthesis.workDone = 0;
    control->synthesis.workTotal = RectWorkUnits(plan, block);
    control->synthesisShare = blockSamples;
    const RectOutput output = {heightField.get(), waterField.get(), &range};
    const bool generated = SynthesizeRect(plan, block, nullptr, nullptr, request.threads, output, &control->synthesis);
    control->synthesisShare = 0;
    if (ExportCancelled(control)) return Refuse(outcome, kExportCancelled, "cancelled");
    if (!generated) return Refuse(outcome, kExportNoMemory, "the generation's working memory cannot be had");
    AddExportWork(control, blockSamples);
    if (whole) {
      uint64_t* counts = nullptr;  // obtained once the erosion has given its memory back
      const ExportStatus shaped =
          ShapeWholeTerrain(request, heightField.get(), &counts, &largestFlow, control, &message);
      flow.reset(counts);
      if (shaped != kExportDone) return Refuse(outcome, shaped, shaped == kExportNoMemory ? noMemory : message);
    }
    field.heights = heightField.get();
    field.water = waterField.get();
    if (!whole && block.width == rect.width && block.depth == rect.depth) {
      TakeRange(range, &minHeight, &maxHeight);
    } else {
      FindRectHeightRange(field, &minHeight, &maxHeight);
    }
    if (!request.rangeGiven && !rangeOfWhole) {
      low = minHeight;
      high = maxHeight;
    }
    // A tile of a terrain held whole scales to the whole terrain's range, as every tile does.
    if (needRange && !request.rangeGiven && whole && !Whole(request)) {
      low = high = field.heights[0];
      for (int64_t i = 0; i < blockSamples; ++i) {
        low = std::min(low, field.heights[i]);
        high = std::max(high, field.heights[i]);
      }
    }
    beginSampleFiles();
    for (size_t i : sampleFiles) {
      if (!written) break;
      written = WriteSampleRows(&samples[i], field);
      if (!written) message = outputs[i].message;
    }
  }
  field.low = low;
  field.high = high;
  outcome->minHeight = minHeight;
  outcome->maxHeight = maxHeight;
  outcome->rangeLow = low;
  outcome->rangeHigh = high;

  // Every file complete under its temporary name before any takes its target's.
  if (written && !FinishSampleFiles(&samples, sampleFiles)) {
    written = false;
    for (size_t i : sampleFiles) {
      if (outputs[i].failed) {
        message = outputs[i].message;
        break;
      }
    }
  }
  for (size_t i : sampleFiles) {
    if (!written) break;
    written = FinishOutputFile(&outputs[i]);
    if (!written) message = outputs[i].message;
  }
  for (size_t i = 0; i < files.size() && written; ++i) {
    if (files[i].samples) continue;
    written = OpenOutputFile(&outputs[i], files[i].path, options) && files[i].write(&outputs[i]) &&
              FinishOutputFile(&outputs[i]);
    if (!written) {
      message = outputs[i].message;
      outcome->protectedFile = outputs[i].protectedFile;
    }
  }
  // A cancellation that came while the last file was written still stops the export; once the
  // renames have begun they are finished (or undone), and the export reports what they did.
  if (written && !ExportCancelled(control)) {
    if (CommitOutputFiles(outputs.data(), outputs.size(), &message)) return true;
    return Refuse(outcome, kExportFileError, message);
  }
  for (SampleFile& sample : samples) ReleaseSampleFile(&sample);
  for (OutputFile& output : outputs) DiscardOutputFile(&output);
  if (ExportCancelled(control)) return Refuse(outcome, kExportCancelled, "cancelled");
  return Refuse(outcome, kExportFileError, message);
}
