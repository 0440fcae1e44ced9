#include "LevelReader.h"
