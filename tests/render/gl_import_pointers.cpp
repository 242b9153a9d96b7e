// The OpenGL entry points as the rendering library links them on Windows: the import
// pointers opengl32 would fill, here pointing at the recorder.
#include "tests/render/gl_recorder.h"

extern "C" {
void (*__imp_glNewList)(unsigned int, unsigned int) = RecordNewList;
void (*__imp_glEndList)() = RecordEndList;
void (*__imp_glCallList)(unsigned int) = RecordCallList;
void (*__imp_glBegin)(unsigned int) = RecordBegin;
void (*__imp_glEnd)() = RecordEnd;
void (*__imp_glColor3f)(float, float, float) = RecordColor3f;
void (*__imp_glVertex3f)(float, float, float) = RecordVertex3f;
void (*__imp_glClear)(unsigned int) = RecordClear;
void (*__imp_glPushMatrix)() = RecordPushMatrix;
void (*__imp_glPopMatrix)() = RecordPopMatrix;
void (*__imp_glTranslatef)(float, float, float) = RecordTranslatef;
void (*__imp_glRotatef)(float, float, float, float) = RecordRotatef;
void (*__imp_glScalef)(float, float, float) = RecordScalef;
void (*__imp_glFlush)() = RecordFlush;
}
