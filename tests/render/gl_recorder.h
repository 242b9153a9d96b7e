// A recording stand-in for the OpenGL entry points the rendering calls: what the tests compare.
#pragma once

#include <string>
#include <vector>

struct GlCall {
  std::string name;          // "glBegin", "glColor3f", ...
  std::vector<double> args;  // the arguments as passed, widened to double
};

struct GlRecording {
  std::vector<GlCall> calls;  // every call, in order
  std::vector<float> stream;  // per vertex: r, g, b of the colour in force, then x, y, z
  float colour[3];            // the colour in force
};

extern GlRecording glRecording;

// Forgets every call and stream value; the colour in force becomes white.
void ResetGlRecording();

// The names of the recorded calls other than glColor3f and glVertex3f.
std::vector<std::string> RecordedStructure();

// The recording operations, with the entry points' own parameter types.
void RecordNewList(unsigned int list, unsigned int mode);
void RecordEndList();
void RecordCallList(unsigned int list);
void RecordBegin(unsigned int mode);
void RecordEnd();
void RecordColor3f(float red, float green, float blue);
void RecordVertex3f(float x, float y, float z);
void RecordClear(unsigned int mask);
void RecordPushMatrix();
void RecordPopMatrix();
void RecordTranslatef(float x, float y, float z);
void RecordRotatef(float angle, float x, float y, float z);
void RecordScalef(float x, float y, float z);
void RecordFlush();
