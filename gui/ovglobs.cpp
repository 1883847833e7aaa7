#include "ovglobs.h"

TovGlobs _G;
