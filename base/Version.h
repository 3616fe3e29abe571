#pragma once
// The history text written into every scene file.
#define MW_VERSION_STRING "Meshwright 2.12 | 3.0@2149614"
#define MW_PROGRAM_VERSION "2.12"
