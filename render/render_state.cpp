// The fixed render state every frame relies on, set once after the windows are shown.
#include <windows.h>

#include <GL/gl.h>

#include <ctime>

#include "render/render_context.h"
#include "state/app_state.h"
#include "terrain/random_source.h"

// The frustum is 8 wide and 2 x 2.7042250633239746 high at the near plane 4.
static const double kFrustumHalfWidth = 4.0;
static const double kFrustumHalfHeight = 2.7042250633239746;
static const double kFrustumNear = 4.0;
static const double kFrustumFar = 4096.0;

static const GLfloat kLightAmbient[4] = {0.2f, 0.2f, 0.2f, 0.2f};
static const GLfloat kLightDiffuse[4] = {0.4f, 0.4f, 0.4f, 0.4f};
static const GLfloat kLightSpecular[4] = {0.0f, 0.0f, 0.0f, 0.0f};

void InitRenderState() {
  glViewport(0, 0, layout.viewWidth, layout.viewHeight);
  glLineWidth(3.0f);

  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glFrustum(-kFrustumHalfWidth, kFrustumHalfWidth, -kFrustumHalfHeight, kFrustumHalfHeight,
            kFrustumNear, kFrustumFar);

  // The base of every frame's modelview, onto the identity a new context has.
  glMatrixMode(GL_MODELVIEW);
  glTranslatef(0.0f, -4.0f, -12.0f);

  glLightfv(GL_LIGHT0, GL_AMBIENT, kLightAmbient);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, kLightDiffuse);
  glLightfv(GL_LIGHT0, GL_SPECULAR, kLightSpecular);
  glEnable(GL_LIGHT0);
  glEnable(GL_COLOR_MATERIAL);

  glCullFace(GL_BACK);
  glFrontFace(GL_CCW);
  glEnable(GL_CULL_FACE);

  glDepthFunc(GL_LEQUAL);
  glEnable(GL_DEPTH_TEST);

  glShadeModel(GL_SMOOTH);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glEnable(GL_TEXTURE_2D);
  glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_FASTEST);
  glColor4f(1.0f, 1.0f, 1.0f, 1.0f);

  viewState.pitch = 10.0f;
  viewState.yaw = 0.0f;

  RandomSeed(static_cast<int32_t>(time(nullptr)));
  currentTerrain = nullptr;
}
