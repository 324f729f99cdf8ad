#pragma once
// The program's own resources, compiled from the sources in this folder. The application registers
// them at start-up: plat::RegisterBuiltinResources(BuiltinResourceTables()).

#include "plat/Resources.h"

const plat::ResourceTables& BuiltinResourceTables();
