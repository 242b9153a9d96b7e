// The recording stand-in for OpenGL: keeps every call and the coloured vertex stream.
#include "tests/render/gl_recorder.h"

GlRecording glRecording;

void ResetGlRecording() {
  glRecording.calls.clear();
  glRecording.stream.clear();
  glRecording.colour[0] = 1.0f;
  glRecording.colour[1] = 1.0f;
  glRecording.colour[2] = 1.0f;
}

std::vector<std::string> RecordedStructure() {
  std::vector<std::string> names;
  for (const GlCall& call : glRecording.calls) {
    if (call.name != "glColor3f" && call.name != "glVertex3f") names.push_back(call.name);
  }
  return names;
}

static void Record(const char* name, std::vector<double> args) {
  glRecording.calls.push_back(GlCall{name, std::move(args)});
}

void RecordNewList(unsigned int list, unsigned int mode) { Record("glNewList", {double(list), double(mode)}); }
void RecordEndList() { Record("glEndList", {}); }
void RecordCallList(unsigned int list) { Record("glCallList", {double(list)}); }
void RecordBegin(unsigned int mode) { Record("glBegin", {double(mode)}); }
void RecordEnd() { Record("glEnd", {}); }

void RecordColor3f(float red, float green, float blue) {
  Record("glColor3f", {double(red), double(green), double(blue)});
  glRecording.colour[0] = red;
  glRecording.colour[1] = green;
  glRecording.colour[2] = blue;
}

void RecordVertex3f(float x, float y, float z) {
  Record("glVertex3f", {double(x), double(y), double(z)});
  const float* c = glRecording.colour;
  glRecording.stream.insert(glRecording.stream.end(), {c[0], c[1], c[2], x, y, z});
}

void RecordClear(unsigned int mask) { Record("glClear", {double(mask)}); }
void RecordPushMatrix() { Record("glPushMatrix", {}); }
void RecordPopMatrix() { Record("glPopMatrix", {}); }
void RecordTranslatef(float x, float y, float z) { Record("glTranslatef", {double(x), double(y), double(z)}); }
void RecordRotatef(float angle, float x, float y, float z) {
  Record("glRotatef", {double(angle), double(x), double(y), double(z)});
}
void RecordScalef(float x, float y, float z) { Record("glScalef", {double(x), double(y), double(z)}); }
void RecordFlush() { Record("glFlush", {}); }
