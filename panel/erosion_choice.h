// What the "Erosion" dialog holds: whether "Generate" erodes, the parameters as typed, and the erosion of the terrain on view.
#pragma once

#include <string>

#include "terrain/erosion.h"

struct ErosionChoice {
  bool erodeGenerated;  // "Erode generated terrains"
  std::string steps;    // the fields' texts, as typed
  std::string erodibility;
  std::string deposition;
  std::string talusAngle;
  std::string creep;
};

// The terrain on view: eroded or not, and with which parameters; the exports and
// pictures of the terrain on view remake it so.
struct ViewedErosion {
  bool eroded;
  ErosionSettings settings;
};

extern ErosionChoice erosionChoice;
extern ViewedErosion viewedErosion;

// The texts of settings; the check box as given.
ErosionChoice ErosionChoiceOf(const ErosionSettings& settings, bool erodeGenerated);

// Reads the fields as the panel reads its own (what follows a number is
// ignored) and checks them: an empty text, or the refusal naming the field
// ("Steps", "Erodibility", "Deposition", "Talus angle", "Creep") and what it takes.
std::string ReadErosionChoice(const ErosionChoice& choice, ErosionSettings* settings);
