// What the "Erosion" dialog holds: whether "Generate" erodes, the parameters as typed, and the erosion of the terrain on view.
#include "panel/erosion_choice.h"

#include <charconv>
#include <cstdio>

#include "panel/field_text.h"

ErosionChoice erosionChoice = ErosionChoiceOf(DefaultErosionSettings(), false);
ViewedErosion viewedErosion = {false, DefaultErosionSettings()};

// The shortest text that reads back as the same float.
static std::string RealText(float value) {
  char text[32];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

ErosionChoice ErosionChoiceOf(const ErosionSettings& settings, bool erodeGenerated) {
  return ErosionChoice{erodeGenerated,
                       std::to_string(settings.steps),
                       RealText(settings.erodibility),
                       RealText(settings.deposition),
                       RealText(settings.talusAngle),
                       RealText(settings.creep)};
}

// What each field takes, as a refusal says it.
static std::string Refusal(ErosionField field) {
  char text[160];
  switch (field) {
    case kErosionFieldSteps:
      snprintf(text, sizeof text, "\"Steps\" must be a whole number from 1 to %d.", static_cast<int>(kMaxErosionSteps));
      break;
    case kErosionFieldErodibility:
      snprintf(text, sizeof text, "\"Erodibility\" must be a number from 0 to %g.", static_cast<double>(kMaxErodibility));
      break;
    case kErosionFieldDeposition:
      snprintf(text, sizeof text, "\"Deposition\" must be a number from 0 to %g.", static_cast<double>(kMaxDeposition));
      break;
    case kErosionFieldTalusAngle:
      snprintf(text, sizeof text, "\"Talus angle\" must be a number of degrees from %g to %g (90: no sliding).",
               static_cast<double>(kMinTalusAngle), static_cast<double>(kMaxTalusAngle));
      break;
    case kErosionFieldCreep:
      snprintf(text, sizeof text, "\"Creep\" must be a number from 0 to %g (square units a step).",
               static_cast<double>(kMaxCreep));
      break;
    case kErosionFieldNone:
      return "";
  }
  return text;
}

std::string ReadErosionChoice(const ErosionChoice& choice, ErosionSettings* settings) {
  const FieldInt steps = ReadFieldInt(choice.steps.c_str());
  if (!steps.accepted) return Refusal(kErosionFieldSteps);
  const struct {
    const std::string* text;
    float* value;
    ErosionField field;
  } reals[] = {{&choice.erodibility, &settings->erodibility, kErosionFieldErodibility},
               {&choice.deposition, &settings->deposition, kErosionFieldDeposition},
               {&choice.talusAngle, &settings->talusAngle, kErosionFieldTalusAngle},
               {&choice.creep, &settings->creep, kErosionFieldCreep}};
  settings->steps = steps.value;
  for (const auto& real : reals) {
    const FieldReal read = ReadFieldReal(real.text->c_str());
    if (!read.accepted) return Refusal(real.field);
    *real.value = read.value;
  }
  return Refusal(CheckErosionSettings(*settings).field);
}
