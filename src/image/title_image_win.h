// Loading the title picture file into a 24-bit bitmap surface.
#pragma once

#include "image/surface_win.h"

// Opens the file through the setup file opener (which keeps asking until it opens) and
// decodes it into a new surface, not kept, owned by the caller. Null when the file is not
// one of the four title variants or its size cannot make a surface. A scrambled block
// without its check bytes, or a data block that stays short after a few fresh attempts,
// gives a blank surface of the stated size; a damaged stream keeps what decoded before
// the damage.
Surface* LoadTitleImage(const char* name);
