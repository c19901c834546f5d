// The protein room: Cα backbones built from torsion angles (from arguments or
// from a protein datasheet), Kabsch superposition RMSD and Ramachandran
// regions. Used by the facade's py_build_backbone*, py_kabsch_rmsd and
// py_ramachandran_region.
#pragma once

#include "protein/backbone.h"
#include "protein/kabsch.h"
#include "protein/ramachandran.h"
