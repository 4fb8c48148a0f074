// graphdev.cpp - the graphics output device (first cut).
#include "glide2x.h"
