#pragma once
#include "mscrt.h"
