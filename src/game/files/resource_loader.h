// Filling the resource stores from loaded master files. Every sub-file is checked before it is used in
// place; a missing or unusable one is refused with a log line and gives id -1.
#pragma once

#include "game/files/object_type_table.h"

// Wraps geometry sub-file `subFile` of `image`; returns its id in the geometry store.
int AddGeometryFromMasterFile(void* image, unsigned int subFile);
// Wraps graphics sub-file `subFile` of `image`; returns its id in the texture store.
int AddTextureFromMasterFile(void* image, unsigned int subFile);
// A new description whose levels of detail are the geometry sub-files of `label` (a sub-file at the
// same address as the one before it reuses its geometry), padded to three levels with -1, with
// `typeInfo` as its type record; returns its id in the description store. Sub-files that are refused
// leave their level at -1.
int AddDescriptionFromLabel(void* image, unsigned int label, _Info* typeInfo);
