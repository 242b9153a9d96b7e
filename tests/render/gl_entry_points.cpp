// The OpenGL entry points as the rendering library links them on Linux, routed to the recorder.
#include <GL/gl.h>

#include "tests/render/gl_recorder.h"

void glNewList(GLuint list, GLenum mode) { RecordNewList(list, mode); }
void glEndList() { RecordEndList(); }
void glCallList(GLuint list) { RecordCallList(list); }
void glBegin(GLenum mode) { RecordBegin(mode); }
void glEnd() { RecordEnd(); }
void glColor3f(GLfloat red, GLfloat green, GLfloat blue) { RecordColor3f(red, green, blue); }
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) { RecordVertex3f(x, y, z); }
void glClear(GLbitfield mask) { RecordClear(mask); }
void glPushMatrix() { RecordPushMatrix(); }
void glPopMatrix() { RecordPopMatrix(); }
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) { RecordTranslatef(x, y, z); }
void glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) { RecordRotatef(angle, x, y, z); }
void glScalef(GLfloat x, GLfloat y, GLfloat z) { RecordScalef(x, y, z); }
void glFlush() { RecordFlush(); }
