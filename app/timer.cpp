#include "app/timer.h"

#include <GL/freeglut.h>

void TimerFunc(int value) {
  // Nothing moves yet; the tick keeps its period.
  glutTimerFunc(static_cast<unsigned>(value), TimerFunc, value);
}
