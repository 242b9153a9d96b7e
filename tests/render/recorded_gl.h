// The OpenGL calls the stream tests record in place of a real OpenGL, and where they go.
#pragma once

#include <windows.h>

#include <GL/gl.h>

#include <vector>

// Takes one call: its name and its arguments widened to double.
void RecordGlCall(const char* name, std::vector<double> args);

// X(name, parameters, arguments...) for every entry point the rendering library calls.
#define KORAVEL_RECORDED_GL(X)                                                      \
  X(glNewList, (GLuint list, GLenum mode), double(list), double(mode))              \
  X(glEndList, ())                                                                  \
  X(glCallList, (GLuint list), double(list))                                        \
  X(glBegin, (GLenum mode), double(mode))                                           \
  X(glEnd, ())                                                                      \
  X(glColor3f, (GLfloat r, GLfloat g, GLfloat b), r, g, b)                          \
  X(glVertex3f, (GLfloat x, GLfloat y, GLfloat z), x, y, z)                         \
  X(glClear, (GLbitfield mask), double(mask))                                       \
  X(glPushMatrix, ())                                                               \
  X(glPopMatrix, ())                                                                \
  X(glTranslatef, (GLfloat x, GLfloat y, GLfloat z), x, y, z)                       \
  X(glRotatef, (GLfloat angle, GLfloat x, GLfloat y, GLfloat z), angle, x, y, z)    \
  X(glScalef, (GLfloat x, GLfloat y, GLfloat z), x, y, z)                           \
  X(glFlush, ())                                                                    \
  X(glEnableClientState, (GLenum array), double(array))                             \
  X(glDisableClientState, (GLenum array), double(array))                            \
  X(glVertexPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid*),      \
    double(size), double(type), double(stride))                                     \
  X(glColorPointer, (GLint size, GLenum type, GLsizei stride, const GLvoid*),       \
    double(size), double(type), double(stride))                                     \
  X(glDrawArrays, (GLenum mode, GLint first, GLsizei count), double(mode), double(first), double(count))
