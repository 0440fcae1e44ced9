#include "LevelWriter.h"
